#pragma once

#include "Tolvi/shell/PreferenceValues.h"

#include <QAbstractButton>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace tolvi {

class FirstFittingArrangement;
class HistoryWindowState;
class HistorySymbolButton;
class PreferencesStore;
class TolviStatusPill;

// The history window's top band: the wordmark, the light/dark theme switch, the capture
// status and the New Snippet, Quick Start and Clear History buttons. In one row where the
// width allows, otherwise in two (the status alone on the second). Without preferences the
// theme switch and the status are left out.
class HistoryHeader : public QWidget {
    Q_OBJECT
public:
    HistoryHeader(HistoryWindowState& state, PreferencesStore* preferences, QWidget* parent = nullptr);

    QLabel* brand() const { return m_brand; }
    // Shows the theme it switches to; pressing it writes the appearance preference.
    QAbstractButton* appearanceButton() const;
    TolviStatusPill* statusPill() const { return m_pill; }
    // The pill's group, read by assistive technologies as one text.
    QWidget* statusGroup() const { return m_statusGroup; }
    QAbstractButton* newSnippetButton() const;
    QAbstractButton* quickStartButton() const;
    // Enabled only while the history holds a clip.
    QAbstractButton* clearHistoryButton() const;
    // The two-row arrangement is shown.
    bool isCompact() const;

private:
    bool isWanted(const QWidget* control) const;
    void placeControls(int arrangement);
    void showAppearance(TolviAppearance appearance);
    void showCaptureStatus();
    void updateButtons();

    HistoryWindowState& m_state;
    PreferencesStore* m_preferences;
    // What the header shows, taken from the preferences' change signals (which announce the
    // new value before the store holds it).
    TolviAppearance m_appearance = TolviAppearance::light;
    bool m_captureBlocked = false;
    bool m_monitoringEnabled = true;

    FirstFittingArrangement* m_arrangements;
    QWidget* m_wide;
    QHBoxLayout* m_wideRow;
    QWidget* m_compact;
    QHBoxLayout* m_compactTop;
    QHBoxLayout* m_compactBottom;
    QLabel* m_brand;
    HistorySymbolButton* m_appearanceButton;
    QWidget* m_statusGroup;
    TolviStatusPill* m_pill;
    QWidget* m_utilityGroup;
    HistorySymbolButton* m_newSnippet;
    HistorySymbolButton* m_quickStart;
    HistorySymbolButton* m_clearHistory;
};

} // namespace tolvi
