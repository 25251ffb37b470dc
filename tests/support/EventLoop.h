#pragma once

#include <QCoreApplication>

#include <chrono>
#include <functional>

// The one application object of the test binary; Qt Network wants one.
QCoreApplication& testApplication();

// Spins the event loop until `done` holds; false when it did not within a generous bound
// (a hang guard, not a timing assertion).
bool processEventsUntil(const std::function<bool()>& done,
                        std::chrono::seconds bound = std::chrono::seconds(60));
