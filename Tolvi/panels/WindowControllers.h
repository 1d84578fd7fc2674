#pragma once

namespace tolvi {

// What the composition root needs of each window's controller. Every controller creates
// its window on first show and keeps it for the life of the program.
class PanelWindowController {
public:
    virtual ~PanelWindowController() = default;
    virtual bool hasWindow() const = 0;
    virtual bool isWindowVisible() const = 0;
    virtual void orderOut() = 0;
    // Keeps the window out of screenshots and screen sharing where the desktop can.
    virtual void setHiddenFromScreenCapture(bool hidden) = 0;
};

class HistoryWindowControlling : public PanelWindowController {
public:
    virtual void show(bool opensNewSnippet) = 0;
    virtual void toggle() = 0;
};

class CompactPanelControlling : public PanelWindowController {
public:
    virtual void show() = 0;
    virtual void toggle() = 0;
};

// Settings, the onboarding tour and About.
class SimpleWindowControlling : public PanelWindowController {
public:
    virtual void show() = 0;
};

class WhatsNewWindowControlling : public PanelWindowController {
public:
    virtual void show(bool markAsSeenOnClose) = 0;
};

} // namespace tolvi
