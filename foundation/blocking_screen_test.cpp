#include "foundation/blocking_screen.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace {

bool IsInput(uint32_t m) {
    return (m >= kFirstKeyMessage && m <= kLastKeyMessage) ||
           (m >= kFirstMouseMessage && m <= kLastMouseMessage);
}

// A window queue with the peek rules the pump relies on.
class FakeMessages : public WindowMessages {
public:
    std::deque<uint32_t> queue;
    std::vector<uint32_t> dispatched;
    std::vector<uint32_t> postOnDispatch;  // input that "arrives" while a message is handled

    bool Peek(WindowMessage& out, uint32_t first, uint32_t last, uint32_t flags) override {
        for (auto it = queue.begin(); it != queue.end(); ++it) {
            bool inRange = (first == 0 && last == 0) || (*it >= first && *it <= last);
            // Input is none of the kinds the queue-status bits select.
            bool kindOk = (flags & ~kPeekRemove) == 0 || !IsInput(*it);
            if (!inRange || !kindOk) continue;
            out.message = *it;
            if ((flags & kPeekRemove) != 0) queue.erase(it);
            return true;
        }
        return false;
    }
    void TranslateAndDispatch(const WindowMessage& m) override {
        dispatched.push_back(m.message);
        for (uint32_t p : postOnDispatch)
            queue.push_back(p);
        postOnDispatch.clear();
    }
};

class FakeDisplay : public BlockingScreenDisplay {
public:
    bool pictureLoads = true;
    std::vector<std::string> calls;
    FakeMessages messages;
    bool hasWindow = true;

    bool LoadPicture(std::string_view folder, std::string_view file, uint32_t& w,
                     uint32_t& h) override {
        calls.push_back("load " + std::string(folder) + "/" + std::string(file));
        w = 800;
        h = 600;
        return pictureLoads;
    }
    void ReleasePicture() override { calls.push_back("release"); }
    void GetTargetSize(uint32_t& w, uint32_t& h) override {
        w = 1600;
        h = 900;
    }
    void BeginFlat2D() override { calls.push_back("begin"); }
    void DrawPicture(const ScreenQuad& q) override {
        calls.push_back("draw");
        quad = q;
    }
    void EndFlat2D() override { calls.push_back("end"); }
    WindowMessages* GetWindowMessages() override { return hasWindow ? &messages : nullptr; }
    ScreenQuad quad{};
};

TEST(BlockingScreen, WithoutADisplayNothingIsDrawnButUsesAreCounted) {
    BlockingScreen screen;
    screen.Show();
    screen.Show();
    screen.Refresh();
    EXPECT_EQ(screen.GetUseCount(), 2);
    screen.Hide();
    screen.Hide();
    screen.Hide();  // unpaired: stays at zero
    EXPECT_EQ(screen.GetUseCount(), 0);
}

TEST(BlockingScreen, ShowsLoadsAndDrawsOnceThenReleasesAtTheLastHide) {
    FakeDisplay display;
    BlockingScreen screen;
    screen.SetDisplay(&display);
    screen.Show();
    screen.Show();  // nested: nothing more
    screen.Refresh();
    screen.Hide();
    EXPECT_EQ(display.calls, (std::vector<std::string>{"load data/BlockingScreen.jpg", "begin",
                                                       "draw", "end", "begin", "draw", "end"}));
    screen.Hide();
    EXPECT_EQ(display.calls.back(), "release");
}

TEST(BlockingScreen, APictureThatDoesNotLoadIsNotDrawn) {
    FakeDisplay display;
    display.pictureLoads = false;
    BlockingScreen screen;
    screen.SetDisplay(&display);
    screen.Show();
    screen.Refresh();
    screen.Hide();
    EXPECT_EQ(display.calls, (std::vector<std::string>{"load data/BlockingScreen.jpg"}));
}

// Keyboard and mouse input made while the screen is up is thrown away, also input that arrives
// while another message is handled; other messages are dispatched in order.
TEST(BlockingScreen, RefreshPumpsMessagesAndDiscardsInput) {
    FakeDisplay display;
    display.messages.queue = {0x100, 0x000F, 0x0201, 0x0400, 0x0109, 0x0113, 0x020D};
    display.messages.postOnDispatch = {0x0102, 0x0200};
    BlockingScreen screen;
    screen.SetDisplay(&display);
    screen.Show();
    EXPECT_EQ(display.messages.queue.size(), 7u);  // Show does not pump
    screen.Refresh();
    EXPECT_EQ(display.messages.dispatched, (std::vector<uint32_t>{0x000F, 0x0400, 0x0113}));
    EXPECT_TRUE(display.messages.queue.empty());
    screen.Hide();

    // No window: drawing still happens, pumping does not.
    display.hasWindow = false;
    display.messages.queue = {0x0100, 0x0400};
    screen.Show();
    screen.Refresh();
    EXPECT_EQ(display.messages.queue.size(), 2u);
}

TEST(BlockingScreen, APumpStopsWhenTheWindowKeepsPostingToItself) {
    class Echo : public FakeMessages {
        void TranslateAndDispatch(const WindowMessage& m) override {
            dispatched.push_back(m.message);
            queue.push_back(m.message);
        }
    };
    Echo echo;
    echo.queue = {0x0400};
    class Window : public FakeDisplay {
    public:
        WindowMessages* target = nullptr;
        WindowMessages* GetWindowMessages() override { return target; }
    } window;
    window.target = &echo;
    BlockingScreen screen;
    screen.SetDisplay(&window);
    screen.Show();
    screen.Refresh();
    EXPECT_EQ(echo.dispatched.size(), BlockingScreen::kMaxPumpedMessages);
}

TEST(BlockingScreen, PlacesThePictureAsLargeAsFitsAndCentred) {
    struct Case {
        uint32_t tw, th, pw, ph;
        ScreenQuad expected;
    };
    const Case cases[] = {
        {1600, 900, 1600, 900, {0.0f, 0.0f, 1.0f, 1.0f}},
        {1600, 900, 800, 600, {0.125f, 0.0f, 0.875f, 1.0f}},  // narrower: bars left and right
        {800, 800, 1600, 400, {0.0f, 0.375f, 1.0f, 0.625f}},  // wider: bars above and below
        {0, 900, 800, 600, {0.0f, 0.0f, 1.0f, 1.0f}},         // no size known: whole target
    };
    for (const Case& c : cases) {
        ScreenQuad q = BlockingScreen::PlacePicture(c.tw, c.th, c.pw, c.ph);
        EXPECT_FLOAT_EQ(q.left, c.expected.left);
        EXPECT_FLOAT_EQ(q.top, c.expected.top);
        EXPECT_FLOAT_EQ(q.right, c.expected.right);
        EXPECT_FLOAT_EQ(q.bottom, c.expected.bottom);
    }
}

}  // namespace
