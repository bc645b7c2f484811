#include "ui/insights/Insight.h"

namespace quillon {
namespace {
QString activityAddress(const char* activity) {
    return u"https://www.linkedin.com/feed/update/urn%3Ali%3Aactivity%3A"_qs +
           QString::fromLatin1(activity) + u'/';
}
} // namespace

const QList<Insight>& insightsCatalog() {
    static const QList<Insight> catalog{
        {u"$2M revenue"_qs, u"Maren Holt, Northline Coaching"_qs,
         u"Daily LinkedIn posts helped build $2M revenue and a coaching business."_qs,
         activityAddress("7183920465112837120")},
        {u"$100K+ MRR pipeline"_qs, u"Tomas Reyes"_qs,
         u"Founder-led LinkedIn posts created $100K+ in measurable MRR pipeline."_qs,
         activityAddress("7191184530276651008")},
        {u"600+ leads"_qs, u"Priya Anand"_qs,
         u"Consistent LinkedIn content produced 600+ leads without ads or cold outreach."_qs,
         activityAddress("7202457716385402880")},
        {u"2x in 60 days"_qs, u"Jonas Weber"_qs,
         u"Buyer-focused LinkedIn content helped a client double revenue in 60 days."_qs,
         activityAddress("7210663948801163264")},
        {u"3x client income"_qs, u"Amara Okafor"_qs,
         u"Profile and post clarity helped turn LinkedIn into 3x client income."_qs,
         activityAddress("7224035587219709952")},
        {u"7 inbound leads/week"_qs, u"Lena Sorensen"_qs,
         u"Clear positioning helped turn LinkedIn into 7 inbound leads per week."_qs,
         activityAddress("7238812094427971584")},
    };
    return catalog;
}

} // namespace quillon
