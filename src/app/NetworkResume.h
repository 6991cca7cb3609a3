//===- app/NetworkResume.h - Going on when the network returns --*- C++ -*-===//
///
/// When the system reports a new network connection (window message 1465
/// of the network event sink), families that stopped for a reason a
/// connection can mend start again. Families the user paused stay paused,
/// and so do those waiting for the user (an existing target, no space, no
/// rights, a missing source): they would only stop again at once.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>

namespace korvex {
class TaskManager;
}

namespace korvex::app {

/// The message the network event sink posts when a connection is made.
inline constexpr int kNetworkConnectedMessage = 1465;

/// Resumes those stopped families; returns how many.
std::size_t ResumeAfterNetworkReturn(TaskManager& manager);

}  // namespace korvex::app
