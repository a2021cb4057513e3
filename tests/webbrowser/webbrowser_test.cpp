#include "platform/browser/webbrowser.h"
#include "platform/session/qt_platform.h"
#include "support/sandbox.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// The real embedded browser, loaded from its module as the program loads it.
// A process of its own: the browser wants its GL context shared before the
// application exists, and outlives every window that showed it.

namespace {

QWebEngineView *viewIn(WebBrowser *browser)
{
    return browser ? browser->findChild<QWebEngineView *>() : nullptr;
}

// Sends the browser to the page and waits until its view shows it, or gives up.
bool shows(WebBrowser *browser, const QUrl &page, const QString &title)
{
    browser->navigate(page.toString());
    QWebEngineView *view = viewIn(browser);
    if (!view)
        return false;
    // The load runs from the event loop: the spy is in time.
    QSignalSpy loaded(view, &QWebEngineView::loadFinished);
    return QTest::qWaitFor([&] { return !loaded.isEmpty() && view->title() == title; }, 60000)
        && loaded.last().first().toBool() && view->url() == page;
}

TEST(WebBrowser, FirstTheWindowsSayWhatToSetThenLoadTheRealPages)
{
    SettingsSandbox settings;
    ASSERT_TRUE(settings.isValid());
    TestWindows windows;
    frm_Quendra &bar = windows.start();
    frm_QuendraPlaylist *playlist = bar.playlistWindow();

    // No settings file: web-control mode with the example addresses, which
    // cannot load: each window says what to set, and no browser starts yet.
    for (WebBrowser *browser : {bar.QuendraWebbrowser, playlist->QuendraPlaylistWebbrowser}) {
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(viewIn(browser), nullptr) << "a browser started for an example address";
        const auto *notice = browser->findChild<QLabel *>();
        ASSERT_NE(notice, nullptr);
        EXPECT_TRUE(notice->isVisibleTo(browser));
        EXPECT_TRUE(notice->text().contains(u"addresses of your player's control and playlist pages"_s))
            << notice->text().toStdString();
    }

    // Local pages, as after the settings dialog names them.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const auto page = [&folder](const QString &name, const QString &title) {
        QFile file(folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return QUrl();
        file.write("<html><head><title>" + title.toUtf8() + "</title></head><body>" + title.toUtf8()
                   + "</body></html>");
        return QUrl::fromLocalFile(file.fileName());
    };
    EXPECT_TRUE(shows(bar.QuendraWebbrowser, page(u"control.html"_s, u"Control page"_s), u"Control page"_s));
    EXPECT_TRUE(
        shows(playlist->QuendraPlaylistWebbrowser, page(u"list.html"_s, u"Playlist page"_s), u"Playlist page"_s));
    QWebEngineView *control = viewIn(bar.QuendraWebbrowser);
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->isVisibleTo(&bar));
    EXPECT_GT(control->height(), 0);
    EXPECT_FALSE(bar.QuendraWebbrowser->findChild<QLabel *>()->isVisibleTo(&bar));
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
