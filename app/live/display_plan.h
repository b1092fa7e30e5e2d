#pragma once
// Which parts of the display a refresh touches. The chart and the table take
// each completed speed sample exactly once; the screen tick in unidirectional
// mode therefore refreshes only the top strip and the LC-1 panel.
// User-interface thread.

enum class DisplayCause {
  NewData,     // a decoded data frame or a completed speed sample
  ScreenTick,  // the screen-update timer
};

struct DisplayPlan {
  bool topStrip = false;        // lblRPM, lblCorrUOZ
  bool diagnostics = false;     // the diagnostics page
  bool acceleration = false;    // acceleration steps (chart and table)
  bool additionalFuel = false;  // additional-fuel recording
  bool lambdaPanel = false;     // status panel 7
};

DisplayPlan PlanDisplay(DisplayCause cause, bool linkState, bool unidirMode, int chartMode,
                        bool lambdaActive);

struct ScreenTickPlan {
  bool copyLambda = false;  // the LC-1 runs alone: copy its value into the session's record first
  bool display = false;     // refresh the display (PlanDisplay with ScreenTick)
};

ScreenTickPlan PlanScreenTick(bool lambdaActive, bool linkState, int screenInterval);
