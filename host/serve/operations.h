// operations.h - the look-development page's operations, one row each.
//
// Every operation of the page is one PageOperation in PageOperations(): its name (which the
// server also sends to the worker process), its HTTP method and path, whether it may change
// the scene, the kind of its reply and the Lookdev member that answers it. The server's
// routes, the forwarding to the worker and the worker's dispatch are all made from the
// table: a new operation is one row there plus its Lookdev member.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class Lookdev;

/// One answer: HTTP status, content type and body.
struct Reply {
  int status = 200;
  std::string contentType = "application/json";
  std::string body;
  std::map<std::string, std::string> headers;  ///< extra response headers
};

/// Query parameters of a request (name -> value; a repeated name keeps every value).
using Query = std::multimap<std::string, std::string>;

/// What a request hands its operation: each operation reads the parts it takes.
struct PageRequest {
  Query query;
  std::string body;
  std::string pathId;  ///< the part of the path the route captures (an icon's ID), else empty
};

/// What a successful reply holds (a refusal is always JSON).
enum class ReplyKind { Json, Png };

/// One operation of the page.
struct PageOperation {
  const char* name;    ///< "describe": the worker's name for it
  const char* method;  ///< "GET" or "POST"
  const char* path;    ///< the route, a regular expression; one group captures pathId
  bool changesScene;   ///< may change the scene or its file: the worker's answer carries the scene
  ReplyKind reply;
  /// Answers request with the Lookdev member that serves the operation.
  Reply (*serve)(Lookdev& lookdev, const PageRequest& request);
};

/// Every operation of the page, in the order the server registers their routes.
const std::vector<PageOperation>& PageOperations();

/// The operation called name, or null.
const PageOperation* FindPageOperation(std::string_view name);

/// Answers the operation called name on lookdev; 400 {"error": "unknown request 'name'"}
/// when the table has none of that name.
Reply ServePageOperation(Lookdev& lookdev, std::string_view name, const PageRequest& request);

}  // namespace host
