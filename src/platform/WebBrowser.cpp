#include "platform/WebBrowser.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace {

class WebEngineBrowser final : public WebBrowser
{
public:
    explicit WebEngineBrowser(QWidget *parent)
        : WebBrowser(parent)
        , m_view(new QWebEngineView(this))
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_view);
    }

    void navigate(const QString &url) override
    {
        m_view->setUrl(QUrl::fromUserInput(url));
    }

private:
    QWebEngineView *m_view;
};

WebBrowserFactory g_factory;

} // namespace

WebBrowser *CreateWebBrowser(QWidget *parent)
{
    if (g_factory)
        return g_factory(parent);
    return new WebEngineBrowser(parent);
}

void SetWebBrowserFactory(WebBrowserFactory factory)
{
    g_factory = std::move(factory);
}
