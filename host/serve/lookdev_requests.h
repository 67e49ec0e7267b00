// lookdev_requests.h - reading the page's requests and making replies: the helpers that the
// Lookdev files (lookdev_*.cpp) share.
#pragma once

#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "resources/resources.h"
#include "serve/lookdev.h"

namespace host {

/// A 200 (or status) reply with j as its body.
Reply JsonReply(const nlohmann::json& j, int status = 200);
/// A refusal: status with {"error": message}.
Reply Refuse(int status, const std::string& message);
/// An image/png reply; a 500 refusal when png is empty (the encoder failed).
Reply PngReply(std::string png);

/// Parses a request body that must be a JSON object, within kMaxRequestBytes and
/// kMaxRequestNesting.
bool ParseBody(const std::string& body, nlohmann::json* out, Reply* refusal);
/// body[key] as a non-empty string.
bool TextField(const nlohmann::json& body, const char* key, std::string* out, Reply* refusal);
/// An integer query parameter in [lo, hi]; def when absent (a def outside the range is
/// refused as well: the scene's own settings are no way around the limits).
bool QueryInt(const Query& query, const char* name, int lo, int hi, int def, int* out, Reply* refusal);

/// Whether path (absolute, resolved) is folder or lies below it.
bool Inside(const std::filesystem::path& path, const std::filesystem::path& folder);

/// The description of a plug-in shader; null for other nodes and for null.
std::shared_ptr<const RegisteredDescription> DescriptionOfShader(const Node* node);

/// Whether the element's ACCEPT block names light objects only.
bool AcceptsLightsOnly(const DescriptionElement& e);

}  // namespace host
