#pragma once

#include "app/update/FWUpdaterController.h"

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

// The test program's QApplication (offscreen) and the string table of the built bundle.
namespace UiTest {

QString text(const char* messageId);

// A controller whose roles the pages never reach.
std::unique_ptr<FWUpdaterController> idleController();

// Runs the event loop until `done` holds; false when it did not within `bound`.
bool pumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds bound = std::chrono::seconds(30));

}  // namespace UiTest
