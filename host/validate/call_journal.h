// call_journal.h - a host interface record that counts the calls a module makes through it.
//
// The record is the host's own, with the container suite, the in/exclude functions of the
// custom-data suite and GetDataInstance of the node suite passed through counters. A
// module loaded with it (ModuleOptions::hostInterface) behaves exactly as with the host's
// record; the counters show, for a stretch of time, whether it read parameters or walked
// lists. The counters are the current HostServices' (core/services.h), so a new Host starts
// them at zero; thread-safe; counting is off until Start().
#pragma once

#include <cstdint>
#include <string>

#include "c4d_host_abi.h"

namespace host {

/// Calls counted since the last Start().
struct CallCounts {
  int64_t containerReads = 0;  ///< GetValue, GetLink, GetCustomData, GetDataInstance
  int64_t containerWrites = 0;  ///< SetValue
  int64_t listWalks = 0;        ///< in/exclude count, entry and flag reads
  /// "3 container reads, 1 list walk" of the counts above 0; empty when none.
  std::string ToString() const;
};

/// The counting record; lives for the process.
const C4DHostInterface* JournalingInterface();
/// Sets every counter to zero and starts counting.
void StartCallJournal();
/// Stops counting and answers what was counted.
CallCounts StopCallJournal();

}  // namespace host
