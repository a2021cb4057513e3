#include "platform/session/translations.h"
#include "platform/widgets/picturebox.h"
#include "support/sandbox.h"
#include "windows/bar/barkeyboard.h"

#include <QCoreApplication>
#include <QLabel>
#include <QRadioButton>
#include <QTranslator>

namespace {

using namespace Qt::StringLiterals;

// English needs no translation; German, for any German-speaking country,
// is built in, and the windows show it: the bar's labels and its buttons'
// names, the dialog's captions and picture buttons.
TEST_F(WindowTest, TheWindowsShowTheirTextsInGerman)
{
    EXPECT_EQ(loadTranslation(QLocale(QLocale::English, QLocale::UnitedStates)), nullptr);
    EXPECT_EQ(loadTranslation(QLocale::c()), nullptr);
    const std::unique_ptr<QTranslator> german = loadTranslation(QLocale(QLocale::German, QLocale::Austria));
    ASSERT_NE(german, nullptr);
    QCoreApplication::installTranslator(german.get());
    frm_Quendra &bar = start();
    EXPECT_EQ(bar.lblStatus->text(), u"Unbekannt");
    EXPECT_EQ(BarKeyboard::buttonName(BarButton::Play), u"Wiedergabe");
    frmSettings *dialog = bar.makeSettingsDialog();
    EXPECT_EQ(dialog->windowTitle(), u"Einstellungen");
    EXPECT_EQ(dialog->optConnectType[0]->text(), u"Websteuerung");
    EXPECT_EQ(dialog->Label1[0]->text(), u"httpq-Server-URL");
    EXPECT_EQ(dialog->picSave->accessibleName(), u"Speichern");
    EXPECT_EQ(dialog->picCancel->accessibleName(), u"Abbrechen");
    m_windows.close();
    QCoreApplication::removeTranslator(german.get());
}

// The words drawn in a picture follow the translation; one longer than the
// room it has is squeezed into it rather than cut.
TEST(PictureTexts, ATranslatedWordIsDrawnInsideThePicture)
{
    const auto key = [](const QString &word) {
        return PictureBox::renderArt(u":/art/cancel.svg"_s, QSize(48, 19), 1, {{u"Cancel"_s, word}}).toImage();
    };
    const QImage english = PictureBox::renderArt(u":/art/cancel.svg"_s, QSize(48, 19), 1).toImage();
    EXPECT_EQ(key(u"Cancel"_s), english);
    EXPECT_NE(key(u"Abbrechen"_s), english);
    // The bright letters stay off the key's left and right edge columns.
    for (const QImage &image : {english, key(u"Abbrechen"_s), key(u"Abbrechen und verwerfen"_s)}) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x : {0, 1, 2, image.width() - 3, image.width() - 2, image.width() - 1})
                EXPECT_LE(qGray(image.pixel(x, y)), 150) << x << ", " << y;
        }
    }
}

} // namespace
