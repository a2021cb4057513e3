#include "platform/window/window_move.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

namespace {

// While the window manager moves a window it owns the pointer: the program
// hears neither the release nor, with some managers, the moves. The X server
// is asked instead, this often.
constexpr int kPollMs = 20;
// After the release the geometry is final once this many polls in a row
// found it unchanged, or at the latest after the limit.
constexpr int kSteadyPolls = 4;
constexpr int kSettleLimitMs = 1500;

xcb_connection_t *xConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

template<typename Reply>
using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

// The buttons held now, as the X server knows them.
std::optional<Qt::MouseButtons> serverButtons(xcb_connection_t *x, xcb_window_t window)
{
    const ReplyPtr<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(x, xcb_query_pointer(x, window), nullptr),
                                                      &std::free);
    if (!pointer)
        return std::nullopt;
    Qt::MouseButtons buttons;
    buttons.setFlag(Qt::LeftButton, pointer->mask & XCB_BUTTON_MASK_1);
    buttons.setFlag(Qt::MiddleButton, pointer->mask & XCB_BUTTON_MASK_2);
    buttons.setFlag(Qt::RightButton, pointer->mask & XCB_BUTTON_MASK_3);
    return buttons;
}

// Where the window is on the screen and its size, in the display's pixels.
std::optional<QRect> serverGeometry(xcb_connection_t *x, xcb_window_t window)
{
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr),
                                                      &std::free);
    if (!geometry)
        return std::nullopt;
    const ReplyPtr<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(x, xcb_translate_coordinates(x, window, geometry->root, 0, 0), nullptr),
        &std::free);
    if (!origin)
        return std::nullopt;
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

xcb_atom_t atomNamed(xcb_connection_t *x, const char *name)
{
    const ReplyPtr<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(std::strlen(name)), name), nullptr), &std::free);
    return atom ? atom->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether the window manager announces the move request (_NET_SUPPORTED).
bool moveRequestSupported(xcb_connection_t *x, xcb_window_t root, xcb_atom_t moveResize)
{
    const xcb_atom_t supported = atomNamed(x, "_NET_SUPPORTED");
    if (supported == XCB_ATOM_NONE || moveResize == XCB_ATOM_NONE)
        return false;
    const ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr),
        &std::free);
    if (!reply || reply->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_atom_t));
    return std::find(atoms, atoms + count, moveResize) != atoms + count;
}

// The _NET_WM_MOVERESIZE request: action 8 moves, 5 sizes the bottom edge,
// 11 cancels. The point is where the gesture began, in the display's pixels:
// the window manager moves the window by how far the pointer is from it.
void sendMoveResize(xcb_connection_t *x, xcb_window_t window, xcb_window_t root, xcb_atom_t moveResize, uint32_t action,
                    QPoint rootPoint)
{
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = moveResize;
    message.data.data32[0] = uint32_t(rootPoint.x());
    message.data.data32[1] = uint32_t(rootPoint.y());
    message.data.data32[2] = action;
    message.data.data32[3] = XCB_BUTTON_INDEX_1;
    message.data.data32[4] = 1; // from a normal application
    xcb_send_event(x, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(x);
}

xcb_window_t rootOf(xcb_connection_t *x, xcb_window_t window)
{
    const ReplyPtr<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr),
                                                      &std::free);
    return geometry ? geometry->root : xcb_window_t(XCB_WINDOW_NONE);
}

// Tells the window manager that the button is already up: a move it starts
// only now (the press and release came quicker than its answer) would follow
// the pointer until the next click. One that ended with the release ignores it.
void cancelSystemMove(xcb_connection_t *x, xcb_window_t window)
{
    const xcb_atom_t moveResize = atomNamed(x, "_NET_WM_MOVERESIZE");
    const xcb_window_t root = rootOf(x, window);
    if (moveResize == XCB_ATOM_NONE || root == XCB_WINDOW_NONE)
        return;
    constexpr uint32_t kCancel = 11;
    sendMoveResize(x, window, root, moveResize, kCancel, {});
}

// Hands the gesture to the window manager from where the pointer is now
// (Qt's QWindow::startSystemMove names the place of the last mouse event
// translated through the window's place on the server, which a move the
// program just requested may have changed). False without a window manager
// that supports it.
bool startSystemMove(xcb_connection_t *x, QWidget *widget, Qt::Edges edges)
{
    const auto window = static_cast<xcb_window_t>(widget->winId());
    const xcb_atom_t moveResize = atomNamed(x, "_NET_WM_MOVERESIZE");
    const xcb_window_t root = rootOf(x, window);
    if (root == XCB_WINDOW_NONE || !moveRequestSupported(x, root, moveResize))
        return false;
    const ReplyPtr<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(x, xcb_query_pointer(x, window), nullptr),
                                                      &std::free);
    if (!pointer)
        return false;
    constexpr uint32_t kMove = 8;
    constexpr uint32_t kSizeBottom = 5;
    // The window manager takes the pointer from here on.
    xcb_ungrab_pointer(x, XCB_CURRENT_TIME);
    sendMoveResize(x, window, root, moveResize, edges ? kSizeBottom : kMove, QPoint(pointer->root_x, pointer->root_y));
    return true;
}

// Whether the window manager holds the window minimised (ICCCM's WM_STATE).
bool iconic(xcb_connection_t *x, xcb_window_t window)
{
    const xcb_atom_t wmState = atomNamed(x, "WM_STATE");
    if (wmState == XCB_ATOM_NONE)
        return false;
    const ReplyPtr<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(x, xcb_get_property(x, 0, window, wmState, wmState, 0, 1), nullptr), &std::free);
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4)
        return false;
    constexpr uint32_t kIconicState = 3;
    return *static_cast<const uint32_t *>(xcb_get_property_value(reply.get())) == kIconicState;
}

// _NET_ACTIVE_WINDOW from a pager, which the manager honours whatever the
// time: restoring the pair is the user's own doing.
void askToActivate(xcb_connection_t *x, xcb_window_t window)
{
    const xcb_atom_t active = atomNamed(x, "_NET_ACTIVE_WINDOW");
    const xcb_window_t root = rootOf(x, window);
    if (active == XCB_ATOM_NONE || root == XCB_WINDOW_NONE)
        return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = active;
    message.data.data32[0] = 2;
    message.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(x, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&message));
    xcb_flush(x);
}

class WindowMover final : public QObject
{
public:
    // Pressed: the button is down but the pointer has not yet gone the
    // platform's drag distance; let go there, the press was a click.
    enum class Phase { Pressed, Dragging, Settling, Done };

    WindowMover(QWidget *window, std::function<void()> finished)
        : QObject(window)
        , m_window(window)
        , m_finished(std::move(finished))
        , m_x(xConnection())
    {
        m_poll.setInterval(kPollMs);
        connect(&m_poll, &QTimer::timeout, this, &WindowMover::poll);
    }

    Phase phase() const { return m_phase; }
    // Started by a press, not by a wait for a geometry the program asked for.
    bool isGesture() const { return m_gesture; }
    void finishSettling()
    {
        if (m_phase == Phase::Settling)
            finish();
    }

    void press(Qt::Edges edges, Qt::MouseButton button, QPoint pressGlobal)
    {
        m_gesture = true;
        m_phase = Phase::Pressed;
        m_edges = edges;
        m_button = button;
        m_pressGlobal = pressGlobal;
        m_startGeometry = m_window->geometry();
        m_window->grabMouse();
        m_grabbed = true;
        qApp->installEventFilter(this);
    }

    // The window manager's move started at the press takes the pointer at
    // once: a click, a touchpad tap, would leave it waiting (xfwm4, i3) and
    // the next click would go to it instead of the program.
    void beginDrag(QPoint global)
    {
        m_phase = Phase::Dragging;
        // What the pointer went so far, the window goes first; the window
        // manager's move (requested after it, so handled after it) takes
        // the window on from there.
        follow(global);
        // The window manager's move is a left-button gesture: it ends only
        // when the left button is let go.
        if (m_x && m_button == Qt::LeftButton) {
            m_window->releaseMouse();
            m_system = startSystemMove(m_x, m_window, m_edges);
            m_grabbed = !m_system;
            if (m_grabbed)
                m_window->grabMouse();
        }
        if (m_x)
            m_poll.start();
    }

    void beginSettling()
    {
        m_phase = Phase::Settling;
        qApp->removeEventFilter(this);
        if (m_grabbed && m_window)
            m_window->releaseMouse();
        m_grabbed = false;
        if (!m_x) {
            finish();
            return;
        }
        m_settleClock.start();
        m_last.reset();
        m_steady = 0;
        m_poll.start();
    }

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (m_phase == Phase::Pressed) {
            pressedEvent(event);
            return false;
        }
        // The window manager's move is watched through the X server alone:
        // what reaches the program meanwhile says nothing about its end.
        if (m_phase != Phase::Dragging || (m_system && m_x))
            return false;
        if (event->type() == QEvent::MouseButtonRelease) {
            if (static_cast<QMouseEvent *>(event)->button() == m_button)
                beginSettling();
        } else if (event->type() == QEvent::MouseMove) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (!(mouse->buttons() & m_button))
                beginSettling();
            else if (!m_system)
                follow(mouse->globalPosition().toPoint());
        }
        return false;
    }

private:
    void pressedEvent(QEvent *event)
    {
        if (event->type() == QEvent::MouseButtonRelease) {
            if (static_cast<QMouseEvent *>(event)->button() == m_button)
                endClick();
        } else if (event->type() == QEvent::MouseMove) {
            const auto *mouse = static_cast<QMouseEvent *>(event);
            const QPoint global = mouse->globalPosition().toPoint();
            if (!(mouse->buttons() & m_button))
                endClick();
            else if ((global - m_pressGlobal).manhattanLength() >= QGuiApplication::styleHints()->startDragDistance())
                beginDrag(global);
        }
    }

    // Nothing moved: the follow-up still runs, once, as after any drag.
    void endClick()
    {
        if (m_grabbed && m_window)
            m_window->releaseMouse();
        m_grabbed = false;
        finish();
    }

    void follow(QPoint global)
    {
        const QPoint delta = global - m_pressGlobal;
        if (m_edges & Qt::BottomEdge)
            m_window->resize(m_startGeometry.width(), std::max(0, m_startGeometry.height() + delta.y()));
        else
            m_window->move(m_startGeometry.topLeft() + delta);
    }

    void poll()
    {
        const auto window = static_cast<xcb_window_t>(m_window->winId());
        if (m_phase == Phase::Dragging) {
            const std::optional<Qt::MouseButtons> buttons = serverButtons(m_x, window);
            if (buttons && !(*buttons & m_button)) {
                if (m_system)
                    cancelSystemMove(m_x, window);
                beginSettling();
            }
            return;
        }
        const std::optional<QRect> geometry = serverGeometry(m_x, window);
        m_steady = geometry && geometry == m_last ? m_steady + 1 : 0;
        m_last = geometry;
        if (m_steady + 1 < kSteadyPolls && !m_settleClock.hasExpired(kSettleLimitMs))
            return;
        m_poll.stop();
        // The manager's notice of the final geometry left before the geometry
        // stopped changing: let the window take it in before anyone reads it.
        const QPointer<WindowMover> self(this);
        QGuiApplication::sync();
        if (self)
            finish();
    }

    void finish()
    {
        if (m_phase == Phase::Done)
            return;
        m_phase = Phase::Done;
        m_poll.stop();
        qApp->removeEventFilter(this);
        deleteLater();
        // The follow-up may close the window; nothing of this object is used after it.
        std::function<void()> finished = std::move(m_finished);
        if (finished)
            finished();
    }

    QPointer<QWidget> m_window;
    std::function<void()> m_finished;
    xcb_connection_t *m_x;
    Phase m_phase = Phase::Settling;
    Qt::Edges m_edges;
    Qt::MouseButton m_button = Qt::LeftButton;
    QPoint m_pressGlobal;
    QRect m_startGeometry;
    bool m_gesture = false;
    bool m_system = false;
    bool m_grabbed = false;
    QTimer m_poll;
    QElapsedTimer m_settleClock;
    std::optional<QRect> m_last;
    int m_steady = 0;
};

} // namespace

qint16 mouseButtonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton: return 1;
    case Qt::RightButton: return 2;
    case Qt::MiddleButton: return 4;
    default: return 0;
    }
}

Qt::MouseButton mouseButtonOfCode(qint16 code)
{
    switch (code) {
    case 1: return Qt::LeftButton;
    case 2: return Qt::RightButton;
    case 4: return Qt::MiddleButton;
    default: return Qt::NoButton;
    }
}

void beginWindowMove(QWidget *window, Qt::Edges edges, Qt::MouseButton button, QPoint pressGlobal,
                     std::function<void()> finished)
{
    // A press of a second button during a drag starts nothing new.
    for (const QObject *child : window->children()) {
        const auto *mover = dynamic_cast<const WindowMover *>(child);
        if (mover && (mover->phase() == WindowMover::Phase::Pressed || mover->phase() == WindowMover::Phase::Dragging))
            return;
    }
    auto *mover = new WindowMover(window, std::move(finished));
    mover->press(edges, button, pressGlobal);
}

bool windowMoveUnderway(QWidget *window)
{
    for (const QObject *child : window->children()) {
        const auto *mover = dynamic_cast<const WindowMover *>(child);
        if (mover && mover->phase() != WindowMover::Phase::Done && mover->isGesture())
            return true;
    }
    return false;
}

bool pointerButtonHeld(QWidget *window)
{
    xcb_connection_t *x = xConnection();
    if (!x || !window->testAttribute(Qt::WA_WState_Created))
        return false;
    const std::optional<Qt::MouseButtons> buttons = serverButtons(x, static_cast<xcb_window_t>(window->winId()));
    return buttons && *buttons != Qt::NoButton;
}

void finishWindowMoves(QWidget *window)
{
    for (QObject *child : window->children()) {
        if (auto *mover = dynamic_cast<WindowMover *>(child))
            mover->finishSettling();
    }
}

void afterWindowSettles(QWidget *window, std::function<void()> settled)
{
    if (!xConnection()) {
        settled();
        return;
    }
    auto *mover = new WindowMover(window, std::move(settled));
    mover->beginSettling();
}

void showInPlace(QWidget *window, std::function<void()> placed)
{
    if (window->isVisible()) {
        if (placed)
            placed();
        return;
    }
    const QPoint place = window->pos();
    window->show();
    afterWindowSettles(window, [window = QPointer<QWidget>(window), place, placed = std::move(placed)] {
        if (!window)
            return;
        if (window->pos() != place)
            window->move(place);
        if (placed)
            placed();
    });
}

void restoreMinimised(QWidget *window, QWidget *keepActive)
{
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    if (!xConnection())
        return;
    // The managers that un-minimise a mapped window have done so by then.
    constexpr int kAnswerMs = 300;
    QTimer::singleShot(kAnswerMs, window, [window, keepActive = QPointer<QWidget>(keepActive)] {
        xcb_connection_t *x = xConnection();
        const auto id = static_cast<xcb_window_t>(window->winId());
        if (!x || !window->isVisible() || !iconic(x, id))
            return;
        askToActivate(x, id);
        if (keepActive && keepActive->isVisible())
            askToActivate(x, static_cast<xcb_window_t>(keepActive->winId()));
    });
}
