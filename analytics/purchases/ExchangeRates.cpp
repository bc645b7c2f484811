#include "analytics/purchases/ExchangeRates.h"

namespace signalpost {
namespace {

// Units per US dollar. AED, BHD, BMD, CHF, CNY, EUR, GBP (and GGP, IMP, JEP), IRR, JPY, KWD,
// LBP, PAB, VND and XDR are fixed values. The other rows are FloatRates' published
// USD-based rates of 5 September 2022 (as shipped in GNU units' currency.units), inverted and
// rounded to four places. Rows that publication lacks follow their pegs: BTN = INR,
// FKP = SHP = GBP, FOK = DKK, KID = TVD = AUD, KYD = 1/1.2; SLL, SLE (SLL/1000) and ZWL are
// approximations of that date.
constexpr struct {
    const char* code;
    double rate;
} rateRows[] = {
    {"AED", 3.6725},     {"AFN", 89.0237},    {"ALL", 118.2348},  {"AMD", 406.241},
    {"ANG", 1.8044},     {"AOA", 429.6396},   {"ARS", 139.5007},  {"AUD", 1.4725},
    {"AWG", 1.8268},     {"AZN", 1.7055},     {"BAM", 1.978},     {"BBD", 2.0377},
    {"BDT", 95.2517},    {"BGN", 1.9634},     {"BHD", 0.376},     {"BIF", 2081.6237},
    {"BMD", 1.0},        {"BND", 1.4106},     {"BOB", 6.9243},    {"BRL", 5.1906},
    {"BSD", 1.007},      {"BTN", 79.8676},    {"BWP", 12.9557},   {"BYN", 2.9855},
    {"BZD", 2.0342},     {"CAD", 1.3152},     {"CDF", 2071.6768}, {"CHF", 0.8997},
    {"CLP", 881.9578},   {"CNY", 7.2626},     {"COP", 4474.508},  {"CRC", 656.4273},
    {"CUP", 1.007},      {"CVE", 111.6862},   {"CZK", 24.6302},   {"DJF", 179.664},
    {"DKK", 7.4627},     {"DOP", 53.0311},    {"DZD", 140.8261},  {"EGP", 19.2535},
    {"ERN", 15.2121},    {"ETB", 53.2849},    {"EUR", 0.9533},    {"FJD", 2.2362},
    {"FKP", 0.7948},     {"FOK", 7.4627},     {"GBP", 0.7948},    {"GEL", 2.9259},
    {"GGP", 0.7948},     {"GHS", 10.0676},    {"GIP", 0.865},     {"GMD", 56.172},
    {"GNF", 8718.4644},  {"GTQ", 7.8116},     {"GYD", 211.1392},  {"HKD", 7.8491},
    {"HNL", 24.8385},    {"HRK", 7.5521},     {"HTG", 117.1097},  {"HUF", 402.6262},
    {"IDR", 14920.7317}, {"ILS", 3.3964},     {"IMP", 0.7948},    {"INR", 79.8676},
    {"IQD", 1466.411},   {"IRR", 41993.216},  {"ISK", 141.7665},  {"JEP", 0.7948},
    {"JMD", 151.879},    {"JOD", 0.7109},     {"JPY", 152.3479},  {"KES", 121.1544},
    {"KGS", 81.11},      {"KHR", 4143.3536},  {"KID", 1.4725},    {"KMF", 496.2539},
    {"KRW", 1371.488},   {"KWD", 0.3085},     {"KYD", 0.8333},    {"KZT", 474.0487},
    {"LAK", 15584.9673}, {"LBP", 89500.0},    {"LKR", 362.4567},  {"LRD", 155.342},
    {"LSL", 17.1732},    {"LYD", 4.9526},     {"MAD", 10.6038},   {"MDL", 19.4955},
    {"MGA", 4246.6607},  {"MKD", 62.149},     {"MMK", 2119.5556}, {"MNT", 3253.0696},
    {"MOP", 8.1619},     {"MRU", 38.0303},    {"MUR", 45.4623},   {"MVR", 15.6003},
    {"MWK", 1035.8384},  {"MXN", 20.0373},    {"MYR", 4.4875},    {"MZN", 64.7083},
    {"NAD", 17.167},     {"NGN", 425.6531},   {"NIO", 36.2662},   {"NOK", 10.0055},
    {"NPR", 127.9569},   {"NZD", 1.6422},     {"OMR", 0.3862},    {"PAB", 1.0},
    {"PEN", 3.8679},     {"PGK", 3.5555},     {"PHP", 56.8835},   {"PKR", 219.0919},
    {"PLN", 4.7385},     {"PYG", 6940.594},   {"QAR", 3.6843},    {"RON", 4.8469},
    {"RSD", 118.1369},   {"RUB", 63.3447},    {"RWF", 1042.1766}, {"SAR", 3.7614},
    {"SBD", 8.2083},     {"SCR", 12.9698},    {"SDG", 574.5783},  {"SEK", 10.7747},
    {"SGD", 1.4047},     {"SHP", 0.7948},     {"SLE", 14.2},      {"SLL", 14200.0},
    {"SOS", 573.7488},   {"SRD", 25.1132},    {"SSP", 650.5252},  {"STN", 24.7227},
    {"SYP", 2510.0},     {"SZL", 17.1732},    {"THB", 36.7361},   {"TJS", 10.2781},
    {"TMT", 3.5132},     {"TND", 3.2126},     {"TOP", 2.3812},    {"TRY", 18.2197},
    {"TTD", 6.8412},     {"TVD", 1.4725},     {"TWD", 30.7524},   {"TZS", 2353.8993},
    {"UAH", 36.9216},    {"UGX", 3839.7746},  {"UYU", 40.9635},   {"UZS", 10984.6907},
    {"VES", 7.8657},     {"VND", 25400.2138}, {"VUV", 118.2025},  {"WST", 2.7495},
    {"XAF", 658.6271},   {"XCD", 2.7344},     {"XDR", 0.7614},    {"XOF", 661.8511},
    {"XPF", 120.4022},   {"YER", 252.5017},   {"ZAR", 17.2906},   {"ZMW", 15.9712},
    {"ZWL", 615.0},
};

} // namespace

const QList<std::pair<QString, double>>& ExchangeRates::rows() {
    static const QList<std::pair<QString, double>> list = [] {
        QList<std::pair<QString, double>> built;
        built.reserve(std::size(rateRows));
        for (const auto& row : rateRows) {
            built.append({QString::fromLatin1(row.code), row.rate});
        }
        return built;
    }();
    return list;
}

const QHash<QString, double>& ExchangeRates::table() {
    static const QHash<QString, double> hash = [] {
        QHash<QString, double> built;
        for (const auto& [code, rate] : rows()) {
            built.insert(code, rate);
        }
        return built;
    }();
    return hash;
}

std::optional<double> ExchangeRates::rate(const QString& currencyCode) {
    const auto& rates = table();
    const auto found = rates.constFind(currencyCode);
    if (found == rates.cend()) {
        return std::nullopt;
    }
    return *found;
}

} // namespace signalpost
