// The embedded browser, in a module of its own: QtWebEngine costs some 30 MB
// just by being linked, so the program loads it only in web-control mode.

#include <QUrl>
#include <QWebEngineView>
#include <QWidget>

extern "C" Q_DECL_EXPORT QWidget *quendra_create_browser(QWidget *parent)
{
    return new QWebEngineView(parent);
}

extern "C" Q_DECL_EXPORT void quendra_navigate_browser(QWidget *browser, const char16_t *url, qsizetype length)
{
    if (auto *view = qobject_cast<QWebEngineView *>(browser))
        view->setUrl(QUrl::fromUserInput(QString::fromUtf16(url, length)));
}
