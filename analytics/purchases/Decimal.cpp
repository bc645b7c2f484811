#include "analytics/purchases/Decimal.h"

#include <QRegularExpression>
#include <cmath>
#include <cstdlib>
#include <limits>

using namespace Qt::StringLiterals;

namespace signalpost {

Decimal::Decimal(qint64 significand, int exponent)
    : m_negative(significand < 0)
    , m_exponent(exponent) {
    // Through unsigned, so that the smallest qint64 keeps its digits.
    const quint64 magnitude =
        m_negative ? quint64(0) - static_cast<quint64>(significand) : quint64(significand);
    m_digits = QString::number(magnitude);
    normalise();
}

Decimal Decimal::notANumber() {
    Decimal nan;
    nan.m_nan = true;
    return nan;
}

std::optional<Decimal> Decimal::fromString(const QString& text) {
    static const QRegularExpression pattern(
        u"^([+-]?)([0-9]*)(?:\\.([0-9]*))?(?:[eE]([+-]?[0-9]{1,6}))?$"_s);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch() || (match.captured(2).isEmpty() && match.captured(3).isEmpty())) {
        return std::nullopt;
    }
    Decimal value;
    value.m_negative = match.captured(1) == QLatin1String("-");
    value.m_digits = match.captured(2) + match.captured(3);
    value.m_exponent = -int(match.captured(3).size()) +
                       (match.captured(4).isEmpty() ? 0 : match.captured(4).toInt());
    value.normalise();
    return value;
}

void Decimal::normalise() {
    qsizetype leading = 0;
    while (leading < m_digits.size() && m_digits.at(leading) == QLatin1Char('0')) {
        ++leading;
    }
    m_digits.remove(0, leading);
    while (!m_digits.isEmpty() && m_digits.endsWith(QLatin1Char('0'))) {
        m_digits.chop(1);
        ++m_exponent;
    }
    if (m_digits.isEmpty()) {
        m_negative = false;
        m_exponent = 0;
    }
}

double Decimal::toDouble() const {
    if (m_nan) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (m_digits.isEmpty()) {
        return 0.0;
    }
    // strtod rounds the exact decimal correctly, and gives ±HUGE_VAL or 0 out of range.
    const QByteArray text = (m_negative ? QByteArray("-") : QByteArray()) + m_digits.toLatin1() +
                            'e' + QByteArray::number(m_exponent);
    return std::strtod(text.constData(), nullptr);
}

QString Decimal::toString() const {
    if (m_nan) {
        return u"NaN"_s;
    }
    if (m_digits.isEmpty()) {
        return u"0"_s;
    }
    QString text = m_digits;
    if (m_exponent >= 0) {
        text += QString(m_exponent, QLatin1Char('0'));
    } else if (-m_exponent < text.size()) {
        text.insert(text.size() + m_exponent, QLatin1Char('.'));
    } else {
        text = u"0."_s + QString(-m_exponent - text.size(), QLatin1Char('0')) + text;
    }
    return m_negative ? QLatin1Char('-') + text : text;
}

} // namespace signalpost
