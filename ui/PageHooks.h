#pragma once
// What the main window does with a page. Each page builds its own hooks and the
// window registers it with one addPage call; an unset hook does nothing.
// GUI thread only.

#include <functional>

class QWidget;

struct PageHooks
{
    // Page indexes: fixed, shared by the page buttons and the page map.
    enum Index
    {
        MainPage = 0,
        SensitivityPage = 1,
        VectorPage = 2,
        SavePage = 3,
        HelpPage = 4,
        MonitorPage = 5,
        ConfigPage = 6,
        PageCount = 7
    };
    // The debug and settings pages poll registers, which ends the instrument's stream.
    static bool pollsRegisters(int index) { return index == MonitorPage || index == ConfigPage; }
    // The pages under which the main page's stream runs on.
    static bool keepsMainStream(int index)
    {
        return index == VectorPage || index == SavePage || index == HelpPage;
    }

    // The processing edits the bottom bar shows while the page is shown.
    enum class BottomBar
    {
        Unchanged,
        CutOffs, // low-pass and high-pass
        FftTime
    };

    BottomBar bottomBar = BottomBar::Unchanged;
    std::function<void(int target)> leave;        // page switch, leaving for target
    std::function<void()> enter;                  // page switch, now shown
    std::function<void()> stopPolling;            // before a sampling-rate change
    std::function<void(int rate)> startPolling;   // after it
    std::function<void()> clearPlot;              // clear-plot button, work-state change
    std::function<void()> filterChanged;          // the values from here on are filtered otherwise
    std::function<void(int rate)> dataRateChosen; // a new data rate is in force
    std::function<void()> reset;                  // reset road
    std::function<void(int num)> setLanguage;     // 1 Chinese, other values English
    // Another page of the window, called for each page registered before and
    // after this one (a page that needs another one keeps it here).
    std::function<void(int index, QWidget* page)> pageAdded;
};
