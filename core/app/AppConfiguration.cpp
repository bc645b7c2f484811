#include "core/app/AppConfiguration.h"

#include "core/app/AppBundle.h"
#include "core/app/PropertyList.h"

#include <QFile>
#include <QVariantMap>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace quillon {
namespace {

// Typed reads from a decoded dictionary; the first problem is kept as the description.
class Section {
public:
    Section(QVariantMap map, QString path, QString* error)
        : m_map(std::move(map))
        , m_path(std::move(path))
        , m_error(error) {}

    bool failed() const { return !m_error->isEmpty(); }

    const QVariant* find(const QString& key) {
        if (failed()) {
            return nullptr;
        }
        const auto it = m_map.constFind(key);
        if (it == m_map.constEnd()) {
            fail(u"No value associated with key \"%1\"."_s.arg(pathOf(key)));
            return nullptr;
        }
        return &*it;
    }

    QString text(const QString& key) {
        const QVariant* value = find(key);
        if (value && value->typeId() != QMetaType::QString) {
            mismatch(key, u"text"_s, *value);
            return {};
        }
        return value ? value->toString() : QString();
    }

    double number(const QString& key) {
        const QVariant* value = find(key);
        if (!value) {
            return 0;
        }
        if (value->typeId() != QMetaType::Double && value->typeId() != QMetaType::LongLong) {
            mismatch(key, u"a number"_s, *value);
            return 0;
        }
        return value->toDouble();
    }

    std::optional<Section> section(const QString& key, bool required = true) {
        if (!required && !failed() && !m_map.contains(key)) {
            return std::nullopt;
        }
        const QVariant* value = find(key);
        if (!value) {
            return std::nullopt;
        }
        if (value->typeId() != QMetaType::QVariantMap) {
            mismatch(key, u"a dictionary"_s, *value);
            return std::nullopt;
        }
        return Section(value->toMap(), pathOf(key), m_error);
    }

    void fail(const QString& description) {
        if (!failed()) {
            *m_error = description;
        }
    }

    QString pathOf(const QString& key) const {
        return m_path.isEmpty() ? key : m_path + u'.' + key;
    }

private:
    void mismatch(const QString& key, const QString& expected, const QVariant& found) {
        fail(u"Expected %1 for the key \"%2\" but found %3."_s.arg(expected, pathOf(key),
                                                                   plist::describeType(found)));
    }

    QVariantMap m_map;
    QString m_path;
    QString* m_error;
};

} // namespace

std::optional<AppConfiguration> AppConfiguration::decode(const QByteArray& bytes, QString* error) {
    QString problem;
    auto finish = [&]() -> std::optional<AppConfiguration> {
        if (error) {
            *error = problem;
        }
        return std::nullopt;
    };

    const auto root = plist::parse(bytes, &problem);
    if (!root) {
        return finish();
    }
    if (root->typeId() != QMetaType::QVariantMap) {
        problem = u"Expected a dictionary at the top level but found %1."_s.arg(
            plist::describeType(*root));
        return finish();
    }

    AppConfiguration configuration;
    Section top(root->toMap(), QString(), &problem);
    if (auto api = top.section(u"api"_s)) {
        const QString text = api->text(u"baseURL"_s);
        const QUrl url(text, QUrl::StrictMode);
        if (!api->failed() && (text.isEmpty() || !url.isValid())) {
            api->fail(u"Data corrupted at \"api.baseURL\": Invalid baseURL"_s);
        }
        configuration.api.baseURL = url;
    }
    if (auto linkedIn = top.section(u"linkedIn"_s)) {
        configuration.linkedIn.callbackURLScheme = linkedIn->text(u"callbackURLScheme"_s);
    }
    if (auto storage = top.section(u"storage"_s)) {
        configuration.storage.draftsKey = storage->text(u"draftsKey"_s);
        configuration.storage.linkedInTokenKey = storage->text(u"linkedInTokenKey"_s);
    }
    if (auto observability = top.section(u"observability"_s, false)) {
        Observability& o = configuration.observability;
        o.sentryDSN = observability->text(u"sentryDSN"_s);
        o.sentryEnvironment = observability->text(u"sentryEnvironment"_s);
        o.sentryTracesSampleRate = observability->number(u"sentryTracesSampleRate"_s);
        o.signalpostAppID = observability->text(u"signalpostAppID"_s);
        o.signalpostNamespace = observability->text(u"signalpostNamespace"_s);
    }
    if (top.failed()) {
        return finish();
    }
    return configuration;
}

std::variant<AppConfiguration, QString> AppConfiguration::read(const AppBundle& bundle) {
    const auto path = bundle.pathForResource(u"AppConfiguration"_s, u"plist"_s);
    if (!path) {
        return u"Missing AppConfiguration.plist"_s;
    }
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly)) {
        return u"Invalid AppConfiguration.plist: "_s + file.errorString();
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        return u"Invalid AppConfiguration.plist: "_s + file.errorString();
    }
    QString error;
    auto configuration = decode(bytes, &error);
    if (!configuration) {
        return u"Invalid AppConfiguration.plist: "_s + error;
    }
    return std::move(*configuration);
}

AppConfiguration AppConfiguration::orStop(std::variant<AppConfiguration, QString> read) {
    if (const QString* message = std::get_if<QString>(&read)) {
        fatalStop(*message);
    }
    return std::get<AppConfiguration>(std::move(read));
}

void fatalStop(const QString& message) {
    QString line = message;
    line.replace(u'\n', u' ').replace(u'\r', u' ');
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
    std::exit(EXIT_FAILURE);
}

} // namespace quillon
