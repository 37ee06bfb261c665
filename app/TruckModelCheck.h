// The model check for this program's truck: what TruckApp, its fits and its
// struts read from a model by number, and the report on one model file that
// dravonel-sim --check prints.
#pragma once

#include "physics/ModelCheck.h"

#include <string>

// The counts and particles the program relies on (as TruckApp::reset, the
// body and wheel fits and the struts read them).
ModelCheck::Needs truckModelNeeds();

// Loads the model file and checks it. Fills *report with the report, whose
// last line is the verdict, and returns true when the model is usable.
bool checkTruckModel(const char* path, std::string* report);
