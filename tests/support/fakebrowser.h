#pragma once

#include "platform/browser/webbrowser.h"

#include <QStringList>

// Records where each embedded browser was sent, instead of loading pages.
class FakeBrowser final : public WebBrowser
{
    Q_OBJECT

public:
    using WebBrowser::WebBrowser;
    void navigate(const QString &url) override
    {
        navigations.append(url);
        if (onNavigate)
            onNavigate();
    }
    QStringList navigations;
    std::function<void()> onNavigate;
};

// Tests never load the real browser: outside FakeBrowsers every browser is
// an unrecorded fake.
inline void installTestBrowserFactory()
{
    setWebBrowserFactory([](QWidget *parent) { return new FakeBrowser(parent); });
}

// Installs a recording FakeBrowser factory for its lifetime.
class FakeBrowsers
{
public:
    FakeBrowsers()
    {
        setWebBrowserFactory([this](QWidget *parent) {
            auto *browser = new FakeBrowser(parent);
            created.append(browser);
            return browser;
        });
    }
    ~FakeBrowsers() { installTestBrowserFactory(); }
    QList<FakeBrowser *> created;
};
