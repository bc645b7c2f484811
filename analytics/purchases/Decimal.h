#pragma once

#include <QString>
#include <optional>

namespace signalpost {

// A decimal number as a store states a price: exact digits and a power of ten, or not a
// number. Only read as a double where a rate is applied.
class Decimal {
public:
    // Zero.
    Decimal() = default;
    // significand × 10^exponent.
    Decimal(qint64 significand, int exponent);
    static Decimal notANumber();
    // Plain decimal text: an optional sign, digits with an optional fraction, an optional
    // exponent ("9.99", "-0.5", "1e3"); anything else gives none.
    static std::optional<Decimal> fromString(const QString& text);

    bool isZero() const { return !m_nan && m_digits.isEmpty(); }
    // The nearest double; infinite when the value is beyond a double's range.
    double toDouble() const;
    QString toString() const;

    friend bool operator==(const Decimal&, const Decimal&) = default;

private:
    bool m_nan = false;
    bool m_negative = false;
    // No leading or trailing zeros; empty for zero.
    QString m_digits;
    int m_exponent = 0;

    void normalise();
};

} // namespace signalpost
