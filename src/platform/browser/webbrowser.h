#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

// The embedded web browser: shows a URL inside its rectangle. A page that
// fails to load is its own business. Where no page can be shown (the browser
// module is not installed, or the address is still an example) it says so,
// and what to do.
class WebBrowser : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
    virtual void navigate(const QString &url) = 0;
};

using WebBrowserFactory = std::function<WebBrowser *(QWidget *parent)>;
// Browsers are created only where they are shown: one costs some 250 MB.
WebBrowser *createWebBrowser(QWidget *parent);
// Tests put a recording browser in place; an empty factory restores the real one.
void setWebBrowserFactory(WebBrowserFactory factory);
// Tests look for the browser module elsewhere; no list restores the usual places.
void setWebBrowserModulePlaces(std::optional<QStringList> places);
