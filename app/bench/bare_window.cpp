// The toolkit's floor for the launch benchmark: a bare Qt Widgets window with a list and a text
// edit, styled as the app is, and nothing else.
#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* list = new QListWidget(&window);
    list->addItems(
        {QStringLiteral("Editor"), QStringLiteral("Drafts"), QStringLiteral("Insights")});
    layout->addWidget(list);
    layout->addWidget(new QPlainTextEdit(&window), 1);
    window.resize(1000, 700);
    window.show();
    return QApplication::exec();
}
