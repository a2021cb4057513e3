#include "webbrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QVBoxLayout>

namespace {

using CreateBrowser = QWidget *(*)(QWidget *parent);
using NavigateBrowser = void (*)(QWidget *browser, const char16_t *url, qsizetype length);

struct BrowserModule
{
    CreateBrowser create = nullptr;
    NavigateBrowser navigate = nullptr;
};

// Beside the program (a build tree), then where the install puts it.
const BrowserModule &browserModule()
{
    static const BrowserModule module = [] {
        BrowserModule found;
        const QString programDir = QCoreApplication::applicationDirPath();
        const QStringList places = {
            programDir + QStringLiteral("/quendra-webbrowser"),
            QDir(programDir).filePath(QStringLiteral(QUENDRA_MODULE_RELATIVE_DIR "/quendra-webbrowser")),
        };
        for (const QString &place : places) {
            QLibrary library(place);
            if (!library.load())
                continue;
            found.create = reinterpret_cast<CreateBrowser>(library.resolve("quendra_create_browser"));
            found.navigate = reinterpret_cast<NavigateBrowser>(library.resolve("quendra_navigate_browser"));
            if (found.create && found.navigate)
                break;
            found = {};
        }
        return found;
    }();
    return module;
}

class ModuleBrowser final : public WebBrowser
{
public:
    explicit ModuleBrowser(QWidget *parent)
        : WebBrowser(parent)
    {
        const BrowserModule &module = browserModule();
        if (!module.create)
            return;
        m_view = module.create(this);
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_view);
    }

    void navigate(const QString &url) override
    {
        // Without the module there is nothing to show; the program goes on.
        if (m_view)
            browserModule().navigate(m_view, reinterpret_cast<const char16_t *>(url.utf16()), url.size());
    }

private:
    QWidget *m_view = nullptr;
};

WebBrowserFactory g_factory;

} // namespace

WebBrowser *createWebBrowser(QWidget *parent)
{
    if (g_factory)
        return g_factory(parent);
    return new ModuleBrowser(parent);
}

void setWebBrowserFactory(WebBrowserFactory factory)
{
    g_factory = std::move(factory);
}
