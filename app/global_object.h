#pragma once
// The runtime's Global object, through which every window unloads itself.
// Whichever window closes first creates it; all three share it.

#include "platform/runtime.h"

namespace tavrino {

inline tav::Global& global_object(tav::Runtime& rt) {
  tav::ObjectRef<tav::Global>& ref = rt.global_reference();
  if (ref.empty()) rt.create_object(ref);
  return *ref;
}

}  // namespace tavrino
