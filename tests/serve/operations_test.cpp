// The table of the page's operations: one row per operation, from which the server's
// routes, the forwarding to the worker and the worker's dispatch are made.
#include "serve/operations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <string>

#include "corvane_ids.h"
#include "lookdev_fixture.h"

namespace host {
namespace {

using nlohmann::json;
using namespace corvanetest;

TEST(PageOperationsTest, EachOperationHasOneNameOneRouteAndAMember) {
  std::set<std::string> names, routes;
  for (const PageOperation& op : PageOperations()) {
    EXPECT_TRUE(names.insert(op.name).second) << op.name << " is in the table twice";
    EXPECT_TRUE(routes.insert(std::string(op.method) + " " + op.path).second) << op.path;
    EXPECT_THAT(std::string(op.method), ::testing::AnyOf("GET", "POST")) << op.name;
    // What changes the scene is sent as POST, so the server's guards ask for JSON.
    EXPECT_EQ(op.changesScene, std::string(op.method) == "POST") << op.name;
    EXPECT_NE(op.serve, nullptr) << op.name;
    EXPECT_EQ(FindPageOperation(op.name), &op);
  }
  EXPECT_EQ(names, (std::set<std::string>{"describe", "scene", "files", "preview", "swatch", "icon", "param",
                                          "lights", "node", "view", "undo", "redo", "save", "load"}));
  // The worker's own start-up requests are not operations of the page.
  EXPECT_EQ(FindPageOperation("open"), nullptr);
  EXPECT_EQ(FindPageOperation("restore"), nullptr);
}

TEST_F(LookdevTest, AnUnknownOperationIsRefusedAndChangesNothing) {
  const std::string before = lookdev->SceneState().body;
  for (const char* name : {"nope", "", "open", "Describe"}) {
    Reply r = ServePageOperation(*lookdev, name, PageRequest{});
    EXPECT_EQ(r.status, 400) << name;
    EXPECT_EQ(r.contentType, "application/json");
    EXPECT_EQ(json::parse(r.body), json({{"error", std::string("unknown request '") + name + "'"}}));
  }
  EXPECT_EQ(lookdev->SceneState().body, before);
}

// Each row hands its member the part of the request that member takes, and an image
// operation answers a PNG.
TEST_F(LookdevTest, EachRowServesItsLookdevMember) {
  const PageRequest none;
  EXPECT_EQ(ServePageOperation(*lookdev, "describe", none).body, lookdev->Describe().body);
  EXPECT_EQ(ServePageOperation(*lookdev, "scene", none).body, lookdev->SceneState().body);
  EXPECT_EQ(ServePageOperation(*lookdev, "files", none).body, lookdev->Files().body);

  PageRequest swatch;
  swatch.query = {{"size", "16"}, {"spp", "1"}};
  EXPECT_EQ(ServePageOperation(*lookdev, "swatch", swatch).body, lookdev->Swatch(swatch.query).body);
  PageRequest icon;
  icon.pathId = std::to_string(kIconPositive);
  icon.query = {{"id", "1"}};  // the path's ID counts, not the query's
  const Reply served = ServePageOperation(*lookdev, "icon", icon);
  EXPECT_EQ(served.body, lookdev->Icon(icon.pathId).body);
  EXPECT_EQ(served.headers.at("Cache-Control"), "max-age=3600");

  for (const PageOperation& op : PageOperations()) {
    if (op.reply != ReplyKind::Png) continue;
    PageRequest request;
    request.query = {{"w", "4"}, {"h", "4"}, {"spp", "1"}, {"size", "16"}};
    request.pathId = icon.pathId;
    const Reply r = op.serve(*lookdev, request);
    EXPECT_EQ(r.status, 200) << op.name << ": " << r.body;
    EXPECT_EQ(r.contentType, "image/png") << op.name;
  }

  const json before = Shader();
  PageRequest edit;
  edit.body = json{{"shader", "Mask"}, {"param", "XCORVANE_SPARE_VALUE"}, {"value", 0.5}}.dump();
  EXPECT_EQ(ServePageOperation(*lookdev, "param", edit).status, 200);
  EXPECT_NE(Shader(), before);
  EXPECT_EQ(Shader()["parameters"]["XCORVANE_SPARE_VALUE"], 0.5);
}

}  // namespace
}  // namespace host
