#pragma once

#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/settings/SettingsContext.h"

#include <QObject>
#include <QPointer>

namespace tolvi {

class SettingsView;

// Owns the settings window: makes its panel and content once, then only shows it (centred on
// the screen, in front) and hides it; closing it keeps the selected section and any question it
// is asking. It hides when the program loses the focus to another program, but not for its own
// dialogs.
class SettingsPanelController final : public QObject, public SimpleWindowControlling {
    Q_OBJECT
public:
    static inline const QString windowTitle = QStringLiteral("Tolvi Settings");

    explicit SettingsPanelController(SettingsDependencies dependencies, QObject* parent = nullptr);
    ~SettingsPanelController() override;

    bool hasWindow() const override;
    bool isWindowVisible() const override;
    void orderOut() override;
    // X11 offers no way to keep a window out of screen captures; the preference is kept only.
    void setHiddenFromScreenCapture(bool) override {}
    void show() override;

    EscapeClosingPanel* panel() const { return m_panel; }
    SettingsView* view() const { return m_view; }

    // The window's top-left corner that centres it on a screen's usable area.
    static QPoint centredOrigin(const QRect& visible, const QSize& size);

private:
    EscapeClosingPanel* makePanel();

    SettingsDependencies m_dependencies;
    QPointer<EscapeClosingPanel> m_panel;
    SettingsView* m_view = nullptr;
};

} // namespace tolvi
