// customdata.h - the custom data types: gradient (1000481) and in/exclude list (1009290).
//
// A C4DGradient* is a host::Gradient*, a C4DInExclude* a host::InExclude*.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "c4d_host_abi.h"
#include "core/container.h"
#include "core/vecmath.h"

namespace host {

/// A colour gradient: knots sorted by position plus a settings container (1002 = mode).
///
/// Lookup (CalcPixel) between the knots k and k+1 around pos uses knot k's interpolation
/// and bias: t = (pos - pos_k) / (pos_k+1 - pos_k); a bias b in (0,1) remaps t to
/// t^(log 0.5 / log b) (so t = b gives the midpoint); interpolation 2 blends with
/// smoothstep(t), 5 keeps knot k's colour up to the next knot, anything else (3) blends
/// linearly. A knot's colour is col x brightness. Outside the knot range the end knot's
/// colour applies; without knots the colour is black. pos is clamped to [0, 1].
class Gradient {
 public:
  Gradient();
  Gradient(const Gradient& o);
  Gradient& operator=(const Gradient& o);
  ~Gradient();

  /// Inserts a knot keeping the knots sorted by position (after knots of equal position);
  /// its position is clamped to [0, 1]. Answers the knot's index.
  int32_t InsertKnot(const C4DGradientKnot& knot);
  bool RemoveKnot(int32_t index);
  void ClearKnots() { knots_.clear(); }
  const std::vector<C4DGradientKnot>& Knots() const { return knots_; }

  Container& Settings() { return settings_; }
  const Container& Settings() const { return settings_; }

  /// Colour at pos (see the class comment). Thread-safe and allocation-free; works with or
  /// without InitRender.
  Vec3 CalcPixel(double pos) const;

  /// Render preparation: only marks the gradient as prepared (lookups need nothing).
  void InitRender() { prepared_ = true; }
  void FreeRender() { prepared_ = false; }
  bool IsPrepared() const { return prepared_; }

  /// True for a gradient made by the custom data suite's GradientAlloc: only such a
  /// gradient is destroyed by GradientFree (one stored in a container is never).
  bool ownedByCaller = false;

 private:
  std::vector<C4DGradientKnot> knots_;
  Container settings_;
  bool prepared_ = false;
};

/// A default knot: white, brightness 1, position 0, bias 0.5, index 0, interpolation 2.
C4DGradientKnot DefaultKnot();

/// Number of Gradient objects alive (in containers or allocated by modules).
int64_t LiveGradients();
/// Makes the next n GradientAlloc calls of the custom data suite fail; 0 cancels.
void FailNextGradientAllocs(int n);

/// An in/exclude list: entries of a weak node reference and 32-bit flags.
class InExclude {
 public:
  struct Entry {
    std::weak_ptr<Node> node;
    int32_t flags = 0;
  };

  /// Appends node (weakly referenced; null makes an entry that never resolves).
  void Append(const Node* node, int32_t flags);
  bool Remove(int32_t index);
  void Clear() { entries_.clear(); }
  int32_t Count() const { return static_cast<int32_t>(entries_.size()); }
  /// The entry's node if it lives and belongs to doc (null doc: any document); else null.
  Node* ObjectFromIndex(const Document* doc, int32_t index) const;
  /// The entry's flags; 0 for an index out of range.
  int32_t Flags(int32_t index) const;
  void SetFlags(int32_t index, int32_t flags);
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
};

/// Handle conversions.
inline C4DGradient* ToHandle(Gradient* g) { return reinterpret_cast<C4DGradient*>(g); }
inline Gradient* FromHandle(C4DGradient* g) { return reinterpret_cast<Gradient*>(g); }
inline const Gradient* FromHandle(const C4DGradient* g) { return reinterpret_cast<const Gradient*>(g); }
inline C4DInExclude* ToHandle(InExclude* l) { return reinterpret_cast<C4DInExclude*>(l); }
inline InExclude* FromHandle(C4DInExclude* l) { return reinterpret_cast<InExclude*>(l); }
inline const InExclude* FromHandle(const C4DInExclude* l) { return reinterpret_cast<const InExclude*>(l); }

}  // namespace host
