// The blocking screen: when the main thread has waited long for the main lock, a full-window
// picture on the engine display, with a message pump that keeps the window responsive and
// throws away keyboard and mouse input made meanwhile. It exists once per process; without a
// display (the null render kernel) every operation draws nothing and pumps nothing.
#pragma once

#include <cstdint>
#include <string_view>

// A window message, as the display's window system queues it.
struct WindowMessage {
    uint32_t message = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

// Peek flags: remove the message, and the kinds of queued message to look at.
constexpr uint32_t kPeekRemove = 0x1;
constexpr uint32_t kPeekQsPostMessage = 0x980000;  // posted, hot-key and timer messages
constexpr uint32_t kPeekQsPaint = 0x200000;
constexpr uint32_t kPeekQsSendMessage = 0x400000;
// What the pump takes one at a time after discarding input.
constexpr uint32_t kPumpPeekFlags =
    kPeekRemove | kPeekQsPostMessage | kPeekQsPaint | kPeekQsSendMessage;
// Message number ranges of keyboard and mouse input.
constexpr uint32_t kFirstKeyMessage = 0x100;
constexpr uint32_t kLastKeyMessage = 0x109;
constexpr uint32_t kFirstMouseMessage = 0x200;
constexpr uint32_t kLastMouseMessage = 0x20D;

// The window's message queue.
class WindowMessages {
public:
    virtual ~WindowMessages() = default;
    // The first queued message numbered first..last (0, 0: any) of a kind the flags allow (no
    // kind bits: every kind); removed when kPeekRemove is among the flags. False when none.
    virtual bool Peek(WindowMessage& out, uint32_t first, uint32_t last, uint32_t flags) = 0;
    virtual void TranslateAndDispatch(const WindowMessage& message) = 0;
};

// A placement in normalised target coordinates (0..1 on both axes).
struct ScreenQuad {
    float left, top, right, bottom;
};

// The engine display the screen draws on, installed by the render kernel at start-up.
class BlockingScreenDisplay {
public:
    virtual ~BlockingScreenDisplay() = default;
    // Reads the picture as an engine bitmap, turns it into a display texture and frees the
    // bitmap; false when it cannot be loaded.
    virtual bool LoadPicture(std::string_view folder, std::string_view file, uint32_t& width,
                             uint32_t& height) = 0;
    virtual void ReleasePicture() = 0;
    virtual void GetTargetSize(uint32_t& width, uint32_t& height) = 0;
    // Saves the display state and sets flat 2D drawing: lighting, culling, alpha test, alpha
    // blending, depth test and depth writes off, the alpha-blend function set, a normalised 2D
    // view and the viewport over the whole target.
    virtual void BeginFlat2D() = 0;
    // One quad textured with the picture.
    virtual void DrawPicture(const ScreenQuad& quad) = 0;
    // Restores the state and viewport saved by BeginFlat2D.
    virtual void EndFlat2D() = 0;
    // The window's message queue; none when the display has no window.
    virtual WindowMessages* GetWindowMessages() = 0;
};

class BlockingScreen {
public:
    static constexpr std::string_view kPictureFolder = "data";
    static constexpr std::string_view kPictureFile = "BlockingScreen.jpg";
    // A pump takes at most this many messages, so that a window that keeps posting to itself
    // cannot hold the waiting main thread in the pump.
    static constexpr uint32_t kMaxPumpedMessages = 256;

    static BlockingScreen& Instance();

    // Start-up installs the display (none: nothing is drawn). Main thread only.
    void SetDisplay(BlockingScreenDisplay* display);

    // The use count rises by one; at 1 the picture is loaded and, when that worked, drawn.
    void Show();
    // Draws the picture again and pumps the window's messages.
    void Refresh();
    // The use count falls by one; at zero the picture is released. An unpaired Hide leaves
    // the count at zero.
    void Hide();
    int32_t GetUseCount() const { return useCount_; }

    // Where the picture goes: as large as fits, its aspect kept, centred.
    static ScreenQuad PlacePicture(uint32_t targetWidth, uint32_t targetHeight,
                                   uint32_t pictureWidth, uint32_t pictureHeight);

private:
    void Draw();
    void PumpMessages();
    void DiscardInput(WindowMessages& messages);

    BlockingScreenDisplay* display_ = nullptr;
    int32_t useCount_ = 0;
    bool loaded_ = false;
    uint32_t pictureWidth_ = 0;
    uint32_t pictureHeight_ = 0;
};
