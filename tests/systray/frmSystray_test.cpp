#include "platform/notify_icon.h"
#include "support/MenuDriver.h"
#include "systray/frmSystray.h"

#include <gtest/gtest.h>

#include <QPointer>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Call
{
    DWORD message;
    NOTIFYICONDATAA record;
};

class frmSystrayTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_iconsBefore = NotifyIconCount();
        SetNotifyIconObserver([this](DWORD message, const NOTIFYICONDATAA &record) {
            m_calls.push_back({message, record});
        });
    }
    void TearDown() override
    {
        SetNotifyIconObserver({});
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(NotifyIconCount(), m_iconsBefore);
    }

    std::vector<Call> m_calls;
    int m_iconsBefore = 0;
};

TEST_F(frmSystrayTest, TheIconComesWithTheFirstItemAndHearsOnlyChangedTooltips)
{
    frmSystray tray;
    EXPECT_TRUE(m_calls.empty());
    tray.AddMenuItem(QStringLiteral("&Quendra"), QStringLiteral("open"), true);
    ASSERT_EQ(m_calls.size(), 1u);
    const NOTIFYICONDATAA &added = m_calls[0].record;
    EXPECT_EQ(m_calls[0].message, NIM_ADD);
    EXPECT_EQ(added.cbSize, 88u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uCallbackMessage, WM_MOUSEMOVE);
    EXPECT_EQ(added.uID, static_cast<quint32>(added.hIcon));
    EXPECT_FALSE(IconForHandle(added.hIcon).isNull());

    tray.SetToolTip(QStringLiteral("ZadAda Doruziz"));
    ASSERT_EQ(m_calls.size(), 2u);
    EXPECT_EQ(m_calls[1].message, NIM_MODIFY);
    EXPECT_EQ(m_calls[1].record.uFlags, 4u);
    EXPECT_EQ(NotifyTipText(m_calls[1].record.szTip), u"ZadAda Doruziz");
    EXPECT_EQ(QByteArray(tray.notifyIconData().szTip, 64), QByteArray("ZadAda Doruziz\0", 15) + QByteArray(49, ' '));
    tray.SetToolTip(QStringLiteral("ZadAda Doruziz"));
    EXPECT_EQ(m_calls.size(), 2u);
}

struct TipCase
{
    const char *name;
    QString tip;
    QString shown;
};

void PrintTo(const TipCase &tipCase, std::ostream *out)
{
    *out << tipCase.name;
}

class Tooltips : public frmSystrayTest, public testing::WithParamInterface<TipCase>
{
};

// The tip field is 64 bytes: 63 characters of a one-byte code page and a NUL.
TEST_P(Tooltips, KeepSixtyThreeCharactersOfAOneByteCodePage)
{
    frmSystray tray;
    tray.SetToolTip(GetParam().tip);
    EXPECT_EQ(tray.ToolTip(), GetParam().shown);
    ASSERT_FALSE(m_calls.empty());
    EXPECT_EQ(NotifyTipText(m_calls.back().record.szTip), GetParam().shown);
}

const QString kHan(40, QChar(0x6771));
const QString kSmile = QString::fromUcs4(U"\U0001F600");

INSTANTIATE_TEST_SUITE_P(
    Text, Tooltips,
    testing::Values(TipCase{"Ascii100", QString(100, u'x'), QString(63, u'x')},
                    TipCase{"Latin40", QString(40, QChar(0xE9)), QString(40, QChar(0xE9))},
                    TipCase{"Latin70", QString(70, QChar(0xE9)), QString(63, QChar(0xE9))},
                    TipCase{"EuroAndQuotes", QStringLiteral("\u20AC 5 \u201Cok\u201D"), QStringLiteral("\u20AC 5 \u201Cok\u201D")},
                    // Bytes that would read as other text in UTF-8 go as UTF-8.
                    TipCase{"LooksLikeUtf8", QStringLiteral("\u00C3\u00A9"), QStringLiteral("\u00C3\u00A9")},
                    // Without a one-byte form: whole characters within 63 bytes.
                    TipCase{"Han40", kHan, kHan.left(21)},
                    TipCase{"Emoji20", kSmile.repeated(20), kSmile.repeated(15)},
                    TipCase{"UpToANul", QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"), QStringLiteral("ab")}),
    [](const testing::TestParamInfo<TipCase> &info) { return std::string(info.param.name); });

TEST_F(frmSystrayTest, ClicksReachTheOwnerAsThePlatformOrdersThem)
{
    frmSystray tray;
    std::vector<std::string> seen;
    QObject::connect(&tray, &frmSystray::SysTrayMouseDown, [&](qint32 b) { seen.push_back("down" + std::to_string(b)); });
    QObject::connect(&tray, &frmSystray::SysTrayMouseUp, [&](qint32 b) { seen.push_back("up" + std::to_string(b)); });
    QObject::connect(&tray, &frmSystray::SysTrayDoubleClick, [&](qint32 b) { seen.push_back("double" + std::to_string(b)); });
    tray.AddMenuItem(QStringLiteral("x"));
    const auto send = [&](QSystemTrayIcon::ActivationReason reason) {
        SendNotifyIconEvent(tray.notifyIconData().hWnd, tray.notifyIconData().uID, reason);
        return std::exchange(seen, {});
    };
    using Words = std::vector<std::string>;
    // The left button's release is the click; the right button's press opens the menu.
    EXPECT_EQ(send(QSystemTrayIcon::Trigger), Words{"down1"});
    EXPECT_EQ(send(QSystemTrayIcon::Context), (Words{"down2", "up2"}));
    EXPECT_EQ(send(QSystemTrayIcon::DoubleClick), (Words{"double1", "down1"}));
    EXPECT_EQ(send(QSystemTrayIcon::MiddleClick), Words{});
}

TEST_F(frmSystrayTest, TheComponentMayGoWhileItsMenuIsOpen)
{
    QPointer<frmSystray> tray = new frmSystray;
    tray->AddMenuItem(QStringLiteral("&Close"), QStringLiteral("close"));
    bool clicked = false;
    QObject::connect(tray, &frmSystray::MenuClick, [&clicked] { clicked = true; });
    WithMenu([&] { tray->ShowMenu(); },
             [&](QMenu *menu) {
                 delete tray.data();
                 EXPECT_TRUE(menu->actions().isEmpty());
                 QTest::keyClick(menu, Qt::Key_Escape);
             });
    EXPECT_TRUE(tray.isNull());
    EXPECT_FALSE(clicked);
}

} // namespace
