#pragma once

#include <QLabel>
#include <QLine>
#include <QWidget>

#include <array>

class FormTimer;
class HttpqClient;
class PictureBox;
class WebBrowser;

// The bar: the program's start-up and main window. In direct mode it shows
// the player face and polls httpQ; in web-control mode it shows the control
// page in an embedded browser below its title strip.
class frm_Quendra final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frm_Quendra)

public:
    static constexpr int kWidthTwips = 4125;

    frm_Quendra();
    ~frm_Quendra() override;

    // The bar of this process, if one exists.
    static frm_Quendra *instance();

    // Loads the settings, lays the bar out for its mode, starts the timers,
    // places the playlist window and shows the bar.
    void Form_Load();

    // Left and top in twips.
    QPoint positionTwips() const;
    void moveTwips(int left, int top);

    // The window's controls, as the other windows and the tests reach them.
    PictureBox *picPlayListStatus;
    PictureBox *picLoopStatus;
    PictureBox *picShuffleStatus;
    HttpqClient *InetStatusCheck;
    FormTimer *timRefreshStatus;
    FormTimer *timDisplaySongtitle;
    HttpqClient *NetworkConnection;
    FormTimer *timRefreshSongTitle;
    PictureBox *picQuendraDirect;
    QLabel *lblSongInfo;
    QLabel *lblChannels;
    QLabel *lblSongTitle;
    QLabel *lblStatus;
    PictureBox *TopBar;
    // Created only in web-control mode.
    WebBrowser *QuendraWebbrowser = nullptr;
    // Border lines drawn on the window itself, in twips.
    std::array<QLine, 3> Line1;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void layOutWebControl();
    void layOutDirect();
    // Places a label of the face in the face's 120 x 60 units.
    void placeOnFace(QLabel *label, double left, double top, double width);
    void placeTwips(QWidget *control, int left, int top);
};
