#include "windows/settings_dialog/frmsettings.h"

#include "core/settings/settings_store.h"
#include "core/settings/settings.h"
#include "core/text/numbers.h"
#include "platform/widgets/key_actions.h"
#include "platform/widgets/picturebox.h"
#include "platform/widgets/reader.h"
#include "platform/window/screen_scale.h"
#include "platform/window/twips.h"
#include "platform/window/window_move.h"
#include "windows/settings_dialog/settings_host.h"

#include <QButtonGroup>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QRadioButton>
#include <QScreen>
#include <QStyleOptionButton>

namespace {

constexpr int kWidthTwips = 8145;
constexpr int kHeightTwips = 3870;
constexpr int kWideField = 6000;
constexpr int kNarrowField = 3000;
constexpr int kRefreshField = 1000;
constexpr int kCaptionLeft = 240;
constexpr int kFieldLeft = 1900;
// The wide fields end here, however far right a longer caption pushes them.
constexpr int kFieldsRight = kFieldLeft + kWideField;
// Pixels between a caption and its field.
constexpr int kCaptionGap = 6;

QRect twipsRect(int left, int top, int width, int height)
{
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

// A frame round a group of options that draws nothing: the dialog's
// picture shows the group. Its title names the group, and each option in
// it, for a reader.
class OptionGroup final : public QGroupBox
{
public:
    OptionGroup(const QString &title, QWidget *parent)
        : QGroupBox(title, parent)
    { }

protected:
    void paintEvent(QPaintEvent *) override { }
};

// The style of the password field: the character just typed shows for a
// second before it is masked, as on a phone.
class TypedCharacterShown final : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        constexpr int kShownMs = 1000;
        if (hint == SH_LineEdit_PasswordMaskDelay)
            return kShownMs;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};
// The dialog's look is its picture: its texts take the colours of the
// picture's light panel and its fields a light scheme of their own, whatever
// the desktop's theme (a dark one would give light text on the panel).
QPalette pictureColours()
{
    const QColor panel(0xdf, 0xe0, 0xe2);
    QPalette colours(panel, panel);
    colours.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
    colours.setColor(QPalette::HighlightedText, Qt::white);
    colours.setColor(QPalette::PlaceholderText, QColor(0x80, 0x80, 0x80));
    colours.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xdc));
    colours.setColor(QPalette::ToolTipText, Qt::black);
    // Every role set here, so that none comes from the theme.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto colourRole = static_cast<QPalette::ColorRole>(role);
            colours.setBrush(group, colourRole, colours.brush(group, colourRole));
        }
    }
    return colours;
}

void holdIndicator(QRadioButton *option)
{
    QStyleOptionButton look;
    look.initFrom(option);
    const int indicator = option->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorHeight, &look, option);
    const int grow = indicator + 2 - option->height();
    if (grow > 0)
        option->setGeometry(option->x(), option->y() - grow / 2, option->width(), option->height() + grow);
}

QFont dialogFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    return font;
}

} // namespace

frmSettings::frmSettings(SettingsHost &host)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint)
    , m_host(host)
{
    setWindowTitle(tr("Settings"));
    setReaderRole(this, QAccessible::Dialog);
    followScreenScale(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setPalette(pictureColours());
    setFont(dialogFont());
    resize(twipsToPixels(kWidthTwips), twipsToPixels(kHeightTwips));

    Frame1 = new OptionGroup(tr("Connection type"), this);
    Frame1->setGeometry(twipsRect(120, 300, 1335, 495));
    m_typeGroup = new QButtonGroup(this);
    const char *const typeCaptions[] = {QT_TR_NOOP("web control"), QT_TR_NOOP("direct to httpq")};
    const int typeTops[] = {0, 250};
    const int typeWidths[] = {1215, 1455};
    for (int i = 0; i < 2; ++i) {
        optConnectType[i] = new QRadioButton(tr(typeCaptions[i]), Frame1);
        optConnectType[i]->setGeometry(twipsRect(0, typeTops[i], typeWidths[i], 195));
        m_typeGroup->addButton(optConnectType[i], i);
    }

    m_proxyGroup = new QButtonGroup(this);
    auto *proxyFrame = new OptionGroup(tr("Proxy"), this);
    proxyFrame->setGeometry(twipsRect(120, 900, 1230, 695));
    const char *const proxyCaptions[] = {QT_TR_NOOP("no proxy"), QT_TR_NOOP("automatic"), QT_TR_NOOP("manual proxy")};
    const int proxyTops[] = {0, 250, 500};
    const int proxyWidths[] = {950, 1000, 1230};
    for (int i = 0; i < 3; ++i) {
        optProxy[i] = new QRadioButton(tr(proxyCaptions[i]), proxyFrame);
        optProxy[i]->setGeometry(twipsRect(0, proxyTops[i], proxyWidths[i], 195));
        m_proxyGroup->addButton(optProxy[i], i);
    }
    txtProxy = new QLineEdit(QString::fromUtf16(kExampleProxy), this);
    txtProxy->setGeometry(twipsRect(1900, 1300, 3000, 285));
    // The address field stands for the manual proxy option beside it.
    txtProxy->setAccessibleName(optProxy[2]->text());

    const char *const labelCaptions[] = {QT_TR_NOOP("Quendra Control URL"), QT_TR_NOOP("Playlist URL"),
                                         QT_TR_NOOP("httpq password"), QT_TR_NOOP("Refresh Songtitle (ms)")};
    const int labelWidths[] = {1455, 975, 1335, 1695};
    for (int i = 0; i < 4; ++i) {
        Label1[i] = new QLabel(tr(labelCaptions[i]), this);
        Label1[i]->setGeometry(twipsRect(kCaptionLeft, 1980 + 300 * i, labelWidths[i], 255));
        Label1[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    const int fieldWidths[] = {kWideField, kWideField, kNarrowField, kRefreshField};
    for (int i = 0; i < 4; ++i) {
        txt_URL[i] = new QLineEdit(this);
        txt_URL[i]->setGeometry(twipsRect(kFieldLeft, 1905 + 300 * i, fieldWidths[i], 285));
        m_fieldWidths[i] = fieldWidths[i];
        connect(txt_URL[i], &QLineEdit::textChanged, this, [this, i] { txt_URL_Change(i); });
        // A reader names each field by its label, whatever the label says.
        Label1[i]->setBuddy(txt_URL[i]);
    }
    // The password is masked, for the eye and for the reader; the character
    // just typed shows for a moment.
    txt_URL[2]->setEchoMode(QLineEdit::Password);
    auto *typedShown = new TypedCharacterShown;
    typedShown->setParent(txt_URL[2]);
    txt_URL[2]->setStyle(typedShown);
    fitTexts();
    m_built = true;

    picSave = new PictureBox(QStringLiteral(":/art/save.svg"), this);
    picSave->setGeometry(twipsRect(240, 3360, 800, 280));
    picCancel = new PictureBox(QStringLiteral(":/art/cancel.svg"), this);
    picCancel->setGeometry(twipsRect(1080, 3360, 720, 280));

    // Only the user's choices write: selections made to show the settings
    // do not emit clicked.
    connect(m_typeGroup, &QButtonGroup::idClicked, this, &frmSettings::optConnectType_Click);
    connect(m_proxyGroup, &QButtonGroup::idClicked, this, &frmSettings::optProxy_Click);
    connect(txtProxy, &QLineEdit::textChanged, this, &frmSettings::txtProxy_Change);
    connect(picSave, &PictureBox::clicked, this, &frmSettings::picSave_Click);
    connect(picCancel, &PictureBox::clicked, this, &frmSettings::picCancel_Click);

    // The pictures are buttons for the keyboard and assistive technologies
    // too; Return saves and Escape cancels wherever the focus is.
    picSave->setButton(tr("Save"));
    picSave->setArtTexts({{QStringLiteral("Save"), tr("Save")}});
    picCancel->setButton(tr("Cancel"));
    picCancel->setArtTexts({{QStringLiteral("Cancel"), tr("Cancel")}});
    onKeys(this, {Qt::Key_Return, Qt::Key_Enter}, [this] { picSave_Click(); });
    onKeys(this, {Qt::Key_Escape}, [this] { picCancel_Click(); });

    // Where the user looks: the middle of the bar's screen.
    const QWidget *bar = m_host.hostWindow();
    if (const QScreen *screen = bar ? bar->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

frmSettings::~frmSettings() = default;

void frmSettings::Form_Load()
{
    const int w = pixelsToTwips(width());
    const int h = pixelsToTwips(height());
    Line1[0] = QLine(0, 0, 0, h - 20);
    Line1[1] = QLine(w - 10, 0, w - 10, h - 20);
    Line1[2] = QLine(0, h - 20, w - 10, h - 20);
    Line1[3] = QLine(w - 10, 0, 0, 0);

    LoadSettings();
    if (!isDirectMode()) {
        txt_URL[0]->setText(gControlUrl);
        txt_URL[1]->setText(gPlaylistUrl);
        showSetting(optConnectType[0]);
    } else {
        txt_URL[0]->setText(gHttpqServer);
        txt_URL[1]->setText(gHttpqPort);
        showSetting(optConnectType[1]);
    }
    RefreshFields();
}

void frmSettings::showSetting(QRadioButton *option)
{
    option->setChecked(true);
    // Tab comes into the group on its chosen option, as Qt arranges it once
    // the keyboard has been in the group: a reader's user hears the choice
    // without changing it.
    for (QAbstractButton *other : option->group()->buttons())
        other->setFocusPolicy(other == option ? Qt::StrongFocus : Qt::ClickFocus);
}

void frmSettings::fitTexts()
{
    // The designed widths fit the designer's font, and other fonts need more
    // (DejaVu Sans, where Liberation Sans is missing): every text gets the
    // room it takes, and the fields move right of the longest caption.
    // The style's circle is taller than the designed 13 pixels: each option
    // grows about its middle to hold it whole (at 2x the cut shows), and its
    // group with it.
    for (QRadioButton *option : optConnectType) {
        option->resize(std::max(option->width(), option->sizeHint().width()), option->height());
        holdIndicator(option);
    }
    Frame1->resize(std::max(Frame1->width(), optConnectType[1]->geometry().right() + 1),
                   std::max(Frame1->height(), optConnectType[1]->geometry().bottom() + 1));
    for (QRadioButton *option : optProxy) {
        option->resize(std::max(option->width(), option->sizeHint().width()), option->height());
        holdIndicator(option);
        QWidget *frame = option->parentWidget();
        frame->resize(std::max(frame->width(), option->geometry().right() + 1),
                      std::max(frame->height(), option->geometry().bottom() + 1));
    }
    const int proxyRight = optProxy[2]->mapTo(this, QPoint(optProxy[2]->width(), 0)).x();
    txtProxy->move(std::max(twipsToPixels(kFieldLeft), proxyRight + kCaptionGap), txtProxy->y());

    // Each caption in either mode.
    const QString captions[] = {tr("Quendra Control URL"), tr("Playlist URL"),   tr("httpq server URL"),
                                tr("httpq port"),          tr("httpq password"), tr("Refresh Songtitle (ms)")};
    const QFontMetrics metrics(Label1[0]->font());
    int widest = 0;
    for (const QString &caption : captions)
        widest = std::max(widest, metrics.horizontalAdvance(caption) + 1);
    const int captionLeft = twipsToPixels(kCaptionLeft);
    const int fieldLeft = std::max(twipsToPixels(kFieldLeft), captionLeft + widest + kCaptionGap);
    for (int i = 0; i < 4; ++i) {
        Label1[i]->resize(fieldLeft - kCaptionGap - captionLeft, Label1[i]->height());
        txt_URL[i]->move(fieldLeft, txt_URL[i]->y());
        setFieldWidth(i, m_fieldWidths[i]);
    }
}

void frmSettings::changeEvent(QEvent *event)
{
    // The constructor's own font comes before the texts are there.
    if (event->type() == QEvent::FontChange && m_built)
        fitTexts();
    QWidget::changeEvent(event);
}

void frmSettings::setFieldWidth(int index, int widthTwips)
{
    m_fieldWidths[index] = widthTwips;
    QLineEdit *field = txt_URL[index];
    field->resize(std::max(0, std::min(twipsToPixels(widthTwips), twipsToPixels(kFieldsRight) - field->x())),
                  field->height());
}

void frmSettings::RefreshFields()
{
    if (gProxy == u"NO") {
        showSetting(optProxy[0]);
        txtProxy->hide();
    } else if (gProxy == u"DEFAULT") {
        showSetting(optProxy[1]);
        txtProxy->hide();
    } else {
        showSetting(optProxy[2]);
        txtProxy->setText(gProxy);
        txtProxy->setVisible(true);
    }

    if (!isDirectMode()) {
        Label1[0]->setText(tr("Quendra Control URL"));
        Label1[1]->setText(tr("Playlist URL"));
        Label1[2]->hide();
        Label1[3]->hide();
        setFieldWidth(0, kWideField);
        setFieldWidth(1, kWideField);
        txt_URL[2]->hide();
        txt_URL[3]->hide();
        txt_URL[0]->setText(gControlUrl);
        txt_URL[1]->setText(gPlaylistUrl);
    } else {
        Label1[0]->setText(tr("httpq server URL"));
        Label1[1]->setText(tr("httpq port"));
        Label1[2]->setVisible(true);
        Label1[3]->setVisible(true);
        setFieldWidth(0, kNarrowField);
        setFieldWidth(1, kNarrowField);
        txt_URL[2]->setVisible(true);
        txt_URL[3]->setVisible(true);
        txt_URL[0]->setText(gHttpqServer);
        txt_URL[1]->setText(gHttpqPort);
        txt_URL[2]->setText(gHttpqPasswd);
        txt_URL[3]->setText(QString::number(gRefresh));
    }
}

void frmSettings::optConnectType_Click(int Index)
{
    gQuendraType = Index == 0 ? QStringLiteral("WEBCONTROL") : QStringLiteral("DIRECT");
    RefreshFields();
}

void frmSettings::optProxy_Click(int Index)
{
    switch (Index) {
    case 0: gProxy = QStringLiteral("NO"); break;
    case 1: gProxy = QStringLiteral("DEFAULT"); break;
    case 2: gProxy = txtProxy->text(); break;
    default: break;
    }
    RefreshFields();
}

void frmSettings::txt_URL_Change(int Index)
{
    if (Index < 0 || Index > 3)
        return;
    const QString text = txt_URL[Index]->text();
    const bool direct = isDirectMode();
    switch (Index) {
    case 0: (direct ? gHttpqServer : gControlUrl) = text; break;
    case 1: (direct ? gHttpqPort : gPlaylistUrl) = text; break;
    case 2: gHttpqPasswd = text; break;
    // Beyond the 16-bit range the value is held at its end: typing never
    // ends the program.
    case 3: gRefresh = settingsNumber(text); break;
    }
}

void frmSettings::txtProxy_Change()
{
    gProxy = txtProxy->text();
}

void frmSettings::picSave_Click()
{
    SaveSettings(m_host.windowPositions());
    if (!isDirectMode())
        m_host.reloadPages();
    close();
}

void frmSettings::picCancel_Click()
{
    close();
}

void frmSettings::Form_MouseDown(Qt::MouseButton button, QPoint pressGlobal)
{
    beginWindowMove(this, {}, button, pressGlobal, {});
}

void frmSettings::mousePressEvent(QMouseEvent *event)
{
    Form_MouseDown(event->button(), event->globalPosition().toPoint());
}

void frmSettings::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    if (m_background.size() != (QSizeF(size()) * ratio).toSize())
        m_background = PictureBox::renderArt(QStringLiteral(":/art/settings_bg.svg"), size(), ratio,
                                             {{QStringLiteral("Settings"), tr("Settings")}});
    painter.drawPixmap(0, 0, m_background);
    // The border lies over the background picture.
    painter.setPen(Qt::black);
    drawTwipsLines(painter, Line1);
}
