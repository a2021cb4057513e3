#include "qt_platform.h"
#include "support/sandbox.h"
#include "webbrowser.h"

#include <QSignalSpy>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

// The real embedded browser, loaded from its module as the program loads it.
// A process of its own: the browser wants its GL context shared before the
// application exists, and outlives every window that showed it.

namespace {

// No settings file: web-control mode, each window's real browser asked for
// its default page; then a local page, as after the settings dialog names it.
TEST(WebBrowser, WithoutSettingsTheWindowsShowRealBrowsersThatLoadPages)
{
    SettingsSandbox settings;
    QTemporaryDir folder;
    ASSERT_TRUE(settings.isValid() && folder.isValid());
    TestWindows windows;
    frm_Quendra &bar = windows.start();
    const std::tuple<WebBrowser *, const char16_t *, QString> browsers[] = {
        {bar.QuendraWebbrowser, kDefaultControlUrl, u"Control page"_s},
        {frm_QuendraPlaylist::instance()->QuendraPlaylistWebbrowser, kDefaultPlaylistUrl, u"Playlist page"_s}};
    for (const auto &[browser, defaultPage, title] : browsers) {
        QWebEngineView *view = browser->findChild<QWebEngineView *>();
        ASSERT_NE(view, nullptr) << "no browser view for " << title.toStdString();
        EXPECT_EQ(view->url(), QUrl(QString::fromUtf16(defaultPage)));
        EXPECT_TRUE(view->isVisibleTo(browser->window()));
        EXPECT_GT(view->height(), 0);
        QFile file(folder.filePath(title + u".html"_s));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<html><head><title>" + title.toUtf8() + "</title></head><body>" + title.toUtf8()
                   + "</body></html>");
        file.close();
        const QUrl page = QUrl::fromLocalFile(file.fileName());
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        browser->navigate(page.toString());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !loaded.isEmpty() && view->title() == title; }, 60000));
        EXPECT_TRUE(!loaded.isEmpty() && loaded.last().first().toBool() && view->url() == page);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    prepareApplicationEnvironment(true);
    testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
