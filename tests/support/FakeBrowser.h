#pragma once

#include "platform/WebBrowser.h"

#include <QStringList>

// Records where each embedded browser was sent, instead of loading pages.
class FakeBrowser final : public WebBrowser
{
    Q_OBJECT

public:
    using WebBrowser::WebBrowser;
    void navigate(const QString &url) override { navigations.append(url); }
    QStringList navigations;
};

// Installs FakeBrowser for its lifetime.
class FakeBrowsers
{
public:
    FakeBrowsers()
    {
        SetWebBrowserFactory([this](QWidget *parent) {
            auto *browser = new FakeBrowser(parent);
            created.append(browser);
            return browser;
        });
    }
    ~FakeBrowsers() { SetWebBrowserFactory({}); }
    QList<FakeBrowser *> created;
};
