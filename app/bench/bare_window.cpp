// The toolkit's floor for the launch benchmark: a bare Qt Widgets window with a list and a text
// edit, styled as the app is, and nothing else.
#include <QApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QWidget>

using namespace Qt::StringLiterals;

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(u"Fusion"_s));
    QWidget window;
    auto* layout = new QHBoxLayout(&window);
    auto* list = new QListWidget(&window);
    list->addItems({u"Editor"_s, u"Drafts"_s, u"Insights"_s});
    layout->addWidget(list);
    layout->addWidget(new QPlainTextEdit(&window), 1);
    window.resize(1000, 700);
    window.show();
    return QApplication::exec();
}
