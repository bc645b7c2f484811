#include "ui/insights/Insight.h"

using namespace Qt::StringLiterals;

namespace quillon {
namespace {
QString activityAddress(const char* activity) {
    return u"https://www.linkedin.com/feed/update/urn%3Ali%3Aactivity%3A"_s +
           QString::fromLatin1(activity) + u'/';
}
} // namespace

const QList<Insight>& insightsCatalog() {
    static const QList<Insight> catalog{
        {u"$2M revenue"_s, u"Maren Holt, Northline Coaching"_s,
         u"Daily LinkedIn posts helped build $2M revenue and a coaching business."_s,
         activityAddress("7183920465112837120")},
        {u"$100K+ MRR pipeline"_s, u"Tomas Reyes"_s,
         u"Founder-led LinkedIn posts created $100K+ in measurable MRR pipeline."_s,
         activityAddress("7191184530276651008")},
        {u"600+ leads"_s, u"Priya Anand"_s,
         u"Consistent LinkedIn content produced 600+ leads without ads or cold outreach."_s,
         activityAddress("7202457716385402880")},
        {u"2x in 60 days"_s, u"Jonas Weber"_s,
         u"Buyer-focused LinkedIn content helped a client double revenue in 60 days."_s,
         activityAddress("7210663948801163264")},
        {u"3x client income"_s, u"Amara Okafor"_s,
         u"Profile and post clarity helped turn LinkedIn into 3x client income."_s,
         activityAddress("7224035587219709952")},
        {u"7 inbound leads/week"_s, u"Lena Sorensen"_s,
         u"Clear positioning helped turn LinkedIn into 7 inbound leads per week."_s,
         activityAddress("7238812094427971584")},
    };
    return catalog;
}

} // namespace quillon
