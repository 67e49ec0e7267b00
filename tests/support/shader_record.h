// shader_record.h - shader plug-ins of a test's own, registered with the host without a
// module: the record as RegisterPlugin takes it, from the callbacks the test gives.
#pragma once

#include <cstdint>
#include <string_view>

#include "c4d_host_abi.h"
#include "core/host.h"

namespace host::test {

/// The record of callbacks (set by designated initializers; a callback left null gets the
/// host's default), with its size filled in.
inline C4DShaderPluginRecord ShaderRecord(C4DShaderPluginRecord callbacks) {
  callbacks.size = sizeof(C4DShaderPluginRecord);
  return callbacks;
}

/// Registers the callbacks as the host's own shader plug-in id, named name, at today's
/// interface version; false when the registry refuses it.
inline bool RegisterTestShader(Host& host, int32_t id, std::string_view name,
                               const C4DShaderPluginRecord& callbacks) {
  const C4DShaderPluginRecord record = ShaderRecord(callbacks);
  return host.Plugins().Register(C4D_PLUGINTYPE_SHADER, id, name, &record, sizeof(record), C4D_API_VERSION,
                                 nullptr);
}

}  // namespace host::test
