#include "foundation/blocking_screen.h"

BlockingScreen& BlockingScreen::Instance() {
    static BlockingScreen screen;
    return screen;
}

void BlockingScreen::SetDisplay(BlockingScreenDisplay* display) {
    if (display_ != nullptr && loaded_) display_->ReleasePicture();
    loaded_ = false;
    display_ = display;
}

ScreenQuad BlockingScreen::PlacePicture(uint32_t targetWidth, uint32_t targetHeight,
                                        uint32_t pictureWidth, uint32_t pictureHeight) {
    ScreenQuad full{0.0f, 0.0f, 1.0f, 1.0f};
    if (targetWidth == 0 || targetHeight == 0 || pictureWidth == 0 || pictureHeight == 0)
        return full;
    const double target = double(targetWidth) / targetHeight;
    const double picture = double(pictureWidth) / pictureHeight;
    if (picture > target) {
        // Wider than the target: full width, bars above and below.
        float h = static_cast<float>(target / picture);
        return ScreenQuad{0.0f, (1.0f - h) / 2, 1.0f, (1.0f + h) / 2};
    }
    float w = static_cast<float>(picture / target);
    return ScreenQuad{(1.0f - w) / 2, 0.0f, (1.0f + w) / 2, 1.0f};
}

void BlockingScreen::Show() {
    if (++useCount_ != 1 || display_ == nullptr) return;
    loaded_ = display_->LoadPicture(kPictureFolder, kPictureFile, pictureWidth_, pictureHeight_);
    Draw();
}

void BlockingScreen::Refresh() {
    if (display_ == nullptr) return;
    Draw();
    PumpMessages();
}

void BlockingScreen::Hide() {
    if (useCount_ > 0) --useCount_;
    if (useCount_ > 0) return;
    if (display_ != nullptr && loaded_) display_->ReleasePicture();
    loaded_ = false;
}

void BlockingScreen::Draw() {
    if (display_ == nullptr || !loaded_) return;
    uint32_t width = 0;
    uint32_t height = 0;
    display_->GetTargetSize(width, height);
    display_->BeginFlat2D();
    display_->DrawPicture(PlacePicture(width, height, pictureWidth_, pictureHeight_));
    display_->EndFlat2D();
}

void BlockingScreen::DiscardInput(WindowMessages& messages) {
    WindowMessage m;
    while (messages.Peek(m, kFirstKeyMessage, kLastKeyMessage, kPeekRemove)) {
    }
    while (messages.Peek(m, kFirstMouseMessage, kLastMouseMessage, kPeekRemove)) {
    }
}

void BlockingScreen::PumpMessages() {
    WindowMessages* messages = display_->GetWindowMessages();
    if (messages == nullptr) return;
    DiscardInput(*messages);
    WindowMessage m;
    for (uint32_t n = 0; n < kMaxPumpedMessages && messages->Peek(m, 0, 0, kPumpPeekFlags); ++n) {
        messages->TranslateAndDispatch(m);
        DiscardInput(*messages);
    }
}
