#include "platform/browser/webbrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QLibrary>
#include <QUrl>
#include <QVBoxLayout>

#include <optional>

namespace {

using CreateBrowser = QWidget *(*)(QWidget *parent);
using NavigateBrowser = void (*)(QWidget *browser, const char16_t *url, qsizetype length);

struct BrowserModule
{
    CreateBrowser create = nullptr;
    NavigateBrowser navigate = nullptr;
};

std::optional<QStringList> g_modulePlaces;

// Beside the program (a build tree), then where the install puts it.
QStringList modulePlaces()
{
    if (g_modulePlaces)
        return *g_modulePlaces;
    const QString programDir = QCoreApplication::applicationDirPath();
    return {
        programDir + QStringLiteral("/quendra-webbrowser"),
        QDir(programDir).filePath(QStringLiteral(QUENDRA_MODULE_RELATIVE_DIR "/quendra-webbrowser")),
    };
}

std::optional<BrowserModule> g_module;

const BrowserModule &browserModule()
{
    if (!g_module) {
        g_module.emplace();
        for (const QString &place : modulePlaces()) {
            QLibrary library(place);
            if (!library.load())
                continue;
            g_module->create = reinterpret_cast<CreateBrowser>(library.resolve("quendra_create_browser"));
            g_module->navigate = reinterpret_cast<NavigateBrowser>(library.resolve("quendra_navigate_browser"));
            if (g_module->create && g_module->navigate)
                break;
            *g_module = {};
        }
    }
    return *g_module;
}

// Names under the reserved top-level domains never resolve: the default
// pages' addresses are examples of what to set, and no page can load there.
bool isExampleAddress(const QString &url)
{
    const QString host = QUrl::fromUserInput(url).host().toLower();
    return host == u"example" || host.endsWith(u".example") || host == u"invalid" || host.endsWith(u".invalid");
}

class ModuleBrowser final : public WebBrowser
{
public:
    explicit ModuleBrowser(QWidget *parent)
        : WebBrowser(parent)
        , m_layout(new QVBoxLayout(this))
    {
        m_layout->setContentsMargins(0, 0, 0, 0);
    }

    void navigate(const QString &url) override
    {
        const BrowserModule &module = browserModule();
        if (!module.create) {
            showNotice(WebBrowser::tr(
                "Web control needs the browser module, which is not installed: install the package "
                "quendra-webbrowser (sudo apt install quendra-webbrowser). Or choose \"direct to httpq\" in "
                "the settings: the gear on the bar's title strip, or the tray menu's Settings."));
            return;
        }
        // The view costs some 250 MB: it comes only once there is a page to show.
        if (isExampleAddress(url)) {
            showNotice(
                WebBrowser::tr("No page set yet. In the settings (the gear on the bar's title strip, or the tray "
                               "menu's Settings) enter the addresses of your player's control and playlist pages, or "
                               "choose \"direct to httpq\" with its server, port and password."));
            return;
        }
        if (!m_view) {
            m_view = module.create(this);
            m_layout->addWidget(m_view);
        }
        if (m_notice)
            m_notice->hide();
        m_view->show();
        module.navigate(m_view, reinterpret_cast<const char16_t *>(url.utf16()), url.size());
    }

private:
    void showNotice(const QString &text)
    {
        if (!m_notice) {
            m_notice = new QLabel(this);
            m_notice->setWordWrap(true);
            m_notice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            m_notice->setTextFormat(Qt::PlainText);
            // The package's name can be copied from it.
            m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
            m_notice->setContentsMargins(6, 4, 6, 4);
            m_notice->setAutoFillBackground(true);
            m_notice->setBackgroundRole(QPalette::Base);
            m_notice->setForegroundRole(QPalette::Text);
            QFont font = m_notice->font();
            font.setBold(false);
            font.setPixelSize(11);
            m_notice->setFont(font);
            m_layout->addWidget(m_notice);
        }
        if (m_view)
            m_view->hide();
        m_notice->setText(text);
        m_notice->show();
    }

    QVBoxLayout *m_layout;
    QWidget *m_view = nullptr;
    QLabel *m_notice = nullptr;
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

void setWebBrowserModulePlaces(std::optional<QStringList> places)
{
    g_modulePlaces = std::move(places);
    g_module.reset();
}
