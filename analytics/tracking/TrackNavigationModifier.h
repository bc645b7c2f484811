#pragma once

#include <QObject>
#include <QString>

namespace signalpost {

// Reports a navigation to `path` each time the widget or window it watches is shown. It is
// the watched object's child, so it ends with it.
class TrackNavigationModifier : public QObject {
    Q_OBJECT
public:
    TrackNavigationModifier(QObject* watched, QString path);

    const QString& path() const { return m_path; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_path;
};

// Makes `view` report its path whenever it comes on screen; creating it reports nothing.
// Returns the view for chaining.
template <typename View> View* trackNavigation(View* view, const QString& path) {
    new TrackNavigationModifier(view, path);
    return view;
}

} // namespace signalpost
