#include "app/live/display_plan.h"

#include "app/live/chart_logic.h"

DisplayPlan PlanDisplay(DisplayCause cause, bool linkState, bool unidirMode, int chartMode,
                        bool lambdaActive) {
  DisplayPlan p;
  if (linkState) {
    p.topStrip = true;
    if (unidirMode) {
      // A tick carries no new sample: taking the last one again would plot
      // it twice, advance the time twice and weigh it twice in the average.
      if (cause == DisplayCause::NewData) {
        p.acceleration = chartMode == kChartAcceleration;
        p.additionalFuel = chartMode == kChartAdditionalFuel;
      }
    } else {
      p.diagnostics = true;
    }
  }
  p.lambdaPanel = lambdaActive;
  return p;
}

ScreenTickPlan PlanScreenTick(bool lambdaActive, bool linkState, int screenInterval) {
  ScreenTickPlan p;
  if (lambdaActive && !linkState) {
    p.copyLambda = true;
    p.display = true;
  }
  if (linkState && screenInterval != 0) p.display = true;
  return p;
}
