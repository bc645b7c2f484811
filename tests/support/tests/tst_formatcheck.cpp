// The layout check of the test command: it fails on every C++ file clang-format would change,
// tracked or new, names each, and leaves build trees alone, with git and without it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray formatted = "int answer() {\n    return 42;\n}\n";
const QByteArray misformatted = "int  answer( ) {return 42;}\n";

struct SourceFile {
    QString path;
    QByteArray text;
    // Put in git's index (when the tree has git).
    bool tracked = true;
    // Gone from the work tree after it was tracked.
    bool deleted = false;
};
using SourceFiles = QList<SourceFile>;

bool write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

bool run(const QString& folder, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    return process.waitForFinished() && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

Q_DECLARE_METATYPE(SourceFiles)

class FormatCheckTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void namesTheFilesToFormat_data();
    void namesTheFilesToFormat();
};

void FormatCheckTest::namesTheFilesToFormat_data() {
    QTest::addColumn<bool>("git");
    QTest::addColumn<SourceFiles>("files");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("named");

    QTest::newRow("clean tree") << true
                                << SourceFiles{{"core/model/Draft.cpp", formatted},
                                               {"core/model/Draft.h", formatted}}
                                << 0 << QStringList{};
    QTest::newRow("tracked files misformatted")
        << true
        << SourceFiles{{"core/model/Draft.cpp", misformatted},
                       {"core/model/Draft.h", formatted},
                       {"ui/kit/Label.h", misformatted}}
        << 1 << QStringList{"core/model/Draft.cpp", "ui/kit/Label.h"};
    QTest::newRow("new file git has not seen")
        << true
        << SourceFiles{{"core/model/Draft.cpp", formatted},
                       {"core/model/Record.cpp", misformatted, false}}
        << 1 << QStringList{"core/model/Record.cpp"};
    QTest::newRow("ignored build tree")
        << true
        << SourceFiles{{"core/model/Draft.cpp", formatted},
                       {"build/core/moc_Draft.cpp", misformatted, false}}
        << 0 << QStringList{};
    QTest::newRow("tracked file deleted")
        << true
        << SourceFiles{{"core/model/Draft.cpp", formatted},
                       {"core/model/Gone.cpp", formatted, true, true}}
        << 0 << QStringList{};
    QTest::newRow("no git: sources checked, build trees and hidden folders not")
        << false << SourceFiles{{"core/model/Draft.cpp", misformatted},
                                {"core/model/Draft.h", formatted},
                                {"build-asan/core/moc_Draft.cpp", misformatted},
                                {"out/CMakeCache.txt", ""},
                                {"out/core/moc_Draft.cpp", misformatted},
                                {".cache/clangd/Draft.cpp", misformatted}}
        << 1 << QStringList{"core/model/Draft.cpp"};
    QTest::newRow("no git: clean tree") << false
                                        << SourceFiles{{"core/model/Draft.cpp", formatted},
                                                       {"build/core/moc_Draft.cpp", misformatted}}
                                        << 0 << QStringList{};
}

void FormatCheckTest::namesTheFilesToFormat() {
    QFETCH(bool, git);
    QFETCH(SourceFiles, files);
    QFETCH(int, exitCode);
    QFETCH(QStringList, named);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // The tree holds the script and the style, as the repository does.
    const QString tree = dir.filePath(u"tree"_s);
    const QString source = qEnvironmentVariable("QUILLON_SOURCE_DIR");
    QVERIFY(QDir().mkpath(tree + u"/scripts"_s));
    const QString script = tree + u"/scripts/format-check"_s;
    QVERIFY(QFile::copy(source + u"/scripts/format-check"_s, script));
    QVERIFY(QFile::copy(source + u"/.clang-format"_s, tree + u"/.clang-format"_s));

    if (git) {
        QVERIFY(run(tree, u"git"_s, {u"init"_s, u"-q"_s}));
        QVERIFY(write(tree + u"/.gitignore"_s, "/build*/\n"));
    }
    for (const SourceFile& file : files) {
        QVERIFY(write(tree + u'/' + file.path, file.text));
        if (git && file.tracked) {
            QVERIFY(run(tree, u"git"_s, {u"add"_s, file.path}));
        }
        if (file.deleted) {
            QVERIFY(QFile::remove(tree + u'/' + file.path));
        }
    }

    QProcess check;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Without git of its own the tree must not be taken for part of a repository around it.
    environment.insert(u"GIT_CEILING_DIRECTORIES"_s, dir.path());
    check.setProcessEnvironment(environment);
    check.start(script, {});
    QVERIFY(check.waitForFinished());
    const QString errors = QString::fromUtf8(check.readAllStandardError());
    QCOMPARE(check.exitStatus(), QProcess::NormalExit);
    QVERIFY2(check.exitCode() == exitCode, qPrintable(errors));

    QStringList listed;
    for (const QString& line : errors.split(u'\n')) {
        if (line.startsWith(u"    "_s)) {
            listed.append(line.trimmed());
        }
    }
    QCOMPARE(listed, named);
    if (!named.isEmpty()) {
        QVERIFY2(errors.contains(u"clang-format-14 -i "_s + named.join(u' ')), qPrintable(errors));
    }
}

QTEST_GUILESS_MAIN(FormatCheckTest)
#include "tst_formatcheck.moc"
