// c4d_basetime.h - BaseTime, a point in time of a document.
#pragma once

#include "c4d_apiversion.h"
#include "maxon/apibase.h"

MAXON_DECLARATION_RECORD("net.maxon.c4d.cinema.framework", BaseTime)

CINEMA_NAMESPACE_BEGIN

/// A time in seconds. Laid out as one 64-bit float, so that it mirrors the host's time
/// field in place.
class BaseTime {
 public:
  constexpr BaseTime() = default;
  /// The time of r seconds.
  constexpr explicit BaseTime(Float r) : _seconds(r) {}
  /// The time of frame z at n frames per second (0 for n = 0).
  constexpr BaseTime(Float z, Float n) : _seconds(n != 0.0 ? z / n : 0.0) {}

  /// The time in seconds.
  constexpr Float Get() const { return _seconds; }

  constexpr Bool operator==(const BaseTime& b) const { return _seconds == b._seconds; }
  constexpr Bool operator!=(const BaseTime& b) const { return _seconds != b._seconds; }
  constexpr Bool operator<(const BaseTime& b) const { return _seconds < b._seconds; }

 private:
  Float _seconds = 0.0;
};

CINEMA_NAMESPACE_END
