// One scenario for every settings view: the same user actions are sent to
// the view under test and to a bare settings core on scripted services, and
// after each action the view must show what the core decided (list, box,
// type, check box, message boxes, the job file written, the window still
// open). No expected value is written down here: the core gives them all,
// so a rule changed in the core changes what every view must show, and a
// view that keeps a rule of its own parts from the core and fails.
#pragma once
#include <string>
#include <vector>

#include "view_driver.h"

namespace zubeto::conformance {

// Runs the scenario; returns one line per difference, none when the view
// does everything as the core does.
std::vector<std::string> run_scenario(ViewDriver& view);

}  // namespace zubeto::conformance
