#pragma once

// Small report templates for the engine's tests. They live apart from the
// test source because moc misreads escaped quotes inside raw string literals.

// A master/detail list on a short sheet (100 mm high) so that a few rows
// already break pages. Section margins: top 20, bottom 10 units.
const char kListTemplate[] = R"json({
  "title": "List",
  "variables": ["Pages"],
  "sections": [{
    "page": {"width": 2100, "height": 1000, "margins": {"left": 20, "top": 20, "right": 0, "bottom": 10}},
    "bands": [
      {"name": "PH", "kind": "pageHeader", "height": 30, "flags": ["onFirstPage"], "boxes": [
        {"name": "Title", "x": 20, "y": 0, "w": 300, "h": 30, "text": ["Title"]}]},
      {"name": "MH", "kind": "masterHeader", "height": 40, "flags": ["repeat"], "boxes": [
        {"name": "Name", "x": 20, "y": 0, "w": 300, "h": 20, "text": ["on [m.\"NAME\"]"]},
        {"name": "Caption", "x": 20, "y": 20, "w": 300, "h": 20, "extras": ["suppressRepeats"], "text": ["(caption)"]}]},
      {"name": "MD", "kind": "masterData", "height": 10, "dataSource": "frM", "boxes": []},
      {"name": "DH", "kind": "detailHeader", "height": 20, "flags": ["repeat"], "boxes": [
        {"name": "Head", "x": 20, "y": 0, "w": 300, "h": 20, "frame": "box", "text": ["Head"]}]},
      {"name": "DD", "kind": "detailData", "height": 20, "dataSource": "frD", "flags": ["stretch"], "boxes": [
        {"name": "No", "x": 20, "y": 0, "w": 40, "h": 20, "frame": "box", "align": "right/middle", "text": ["[LINE#]  "]},
        {"name": "Text", "x": 60, "y": 0, "w": 100, "h": 20, "frame": "box", "text": ["[d.\"TEXT\"]"]},
        {"name": "Val", "x": 160, "y": 0, "w": 80, "h": 20, "frame": "box", "align": "right/middle", "extras": ["hideZeros"], "text": ["[d.\"VAL\"]"]},
        {"name": "Mark", "x": 240, "y": 0, "w": 20, "h": 10, "text": ["*"]}]},
      {"name": "MF", "kind": "masterFooter", "height": 30, "boxes": [
        {"name": "End", "x": 20, "y": 0, "w": 300, "h": 30, "text": ["end of [m.\"NAME\"]"]}]},
      {"name": "PF", "kind": "pageFooter", "height": 20, "flags": ["onFirstPage", "onLastPage"], "boxes": [
        {"name": "PageNo", "x": 20, "y": 0, "w": 300, "h": 20, "script": "Pages := [TOTALPAGES]", "text": ["p. [PAGE#] of [Pages]"]}]}
    ]}]
})json";

const char kFixedBandTemplate[] = R"json({"sections": [{"page": {}, "bands": [
          {"name": "MD", "kind": "masterData", "height": 20, "dataSource": "frM", "boxes": [
            {"name": "B", "x": 0, "y": 0, "w": 60, "h": 20, "text": ["[m.\"NAME\"]"]}]}]}]})json";

const char kFooterFlagsTemplate[] = R"json({"sections": [
          {"page": {"height": 1000}, "bands": [
            {"name": "MD", "kind": "masterData", "height": 100, "dataSource": "frM", "boxes": [
              {"name": "B", "x": 0, "y": 0, "w": 60, "h": 20, "text": ["[m.\"NAME\"]"]}]},
            {"name": "PF", "kind": "pageFooter", "height": 20, "flags": [], "boxes": [
              {"name": "F", "x": 0, "y": 0, "w": 60, "h": 20, "text": ["foot [PAGE#]"]}]}]}]})json";

const char kTwoSectionsTemplate[] = R"json({"sections": [
          {"page": {}, "bands": [
            {"name": "A", "kind": "masterData", "height": 20, "dataSource": "frM", "boxes": [
              {"name": "B", "x": 0, "y": 0, "w": 200, "h": 20, "text": ["A [PAGE#]/[TOTALPAGES]"]}]}]},
          {"page": {"orientation": "landscape"}, "bands": [
            {"name": "C", "kind": "masterData", "height": 20, "dataSource": "frM", "boxes": [
              {"name": "B", "x": 0, "y": 0, "w": 200, "h": 20, "text": ["C [PAGE#]/[TOTALPAGES]"]}]}]}]})json";

const char kUnderlineTemplate[] = R"json({"sections": [{"page": {}, "bands": [
          {"name": "MD", "kind": "masterData", "height": 100, "dataSource": "frM", "boxes": [
            {"name": "Empty", "x": 10, "y": 0, "w": 100, "h": 20, "extras": ["underlined"], "text": []},
            {"name": "Tall", "x": 10, "y": 30, "w": 100, "h": 40, "extras": ["underlined"], "text": ["x"]},
            {"name": "Plain", "x": 10, "y": 80, "w": 100, "h": 20, "text": ["x"]}]}]}]})json";

const char kAutoWidthTemplate[] = R"json({"sections": [{"page": {}, "bands": [
          {"name": "MD", "kind": "masterData", "height": 20, "dataSource": "frM", "boxes": [
            {"name": "A", "x": 100, "y": 0, "w": 400, "h": 20, "align": "centre/top",
             "extras": ["autoWidth", "plain", "underlined"], "text": ["[x]"]}]}]}]})json";

const char kUnknownFieldTemplate[] = R"json({"sections": [{"page": {}, "bands": [
          {"name": "MD", "kind": "masterData", "height": 20, "dataSource": "frM", "boxes": [
            {"name": "A", "x": 0, "y": 0, "w": 100, "h": 20, "text": ["[m.\"NOSUCH\"]"]}]}]}]})json";

// The list's page header flags, and the same header without "on first page".
const char kHeaderFlagsAsGiven[] = R"("name": "PH", "kind": "pageHeader", "height": 30, "flags": ["onFirstPage"])";
const char kHeaderFlagsNone[] = R"("name": "PH", "kind": "pageHeader", "height": 30, "flags": [])";

// Templates the loader must refuse, with a word its message must name.
struct MalformedTemplate {
    const char* name;
    const char* json;
    const char16_t* mentions;
};

const MalformedTemplate kMalformedTemplates[] = {
    {"not JSON", "{", u"JSON"},
    {"misspelt key", R"({"titel": "x"})", u"titel"},
    {"unknown band kind", R"({"sections": [{"bands": [{"name": "X", "kind": "summary", "height": 1}]}]})", u"summary"},
    {"data band without source", R"({"sections": [{"bands": [{"name": "X", "kind": "masterData", "height": 1}]}]})",
     u"X"},
    {"bad alignment", R"({"sections": [{"bands": [{"name": "X", "kind": "pageHeader", "height": 1,
        "boxes": [{"x": 0, "y": 0, "w": 1, "h": 1, "align": "middle/left"}]}]}]})",
     u"middle/left"},
    {"box without size", R"({"sections": [{"bands": [{"name": "X", "kind": "pageHeader", "height": 1,
        "boxes": [{"x": 0, "y": 0}]}]}]})",
     u"\"w\""},
    {"broken expression", R"({"sections": [{"bands": [{"name": "X", "kind": "pageHeader", "height": 1,
        "boxes": [{"x": 0, "y": 0, "w": 1, "h": 1, "text": ["[IF(1,2]"]}]}]}]})",
     u"IF(1,2"},
    {"detail without master", R"({"sections": [{"bands": [{"name": "D", "kind": "detailData", "height": 1,
        "dataSource": "x"}]}]})",
     u""},
    {"text not a list", R"({"sections": [{"bands": [{"name": "X", "kind": "pageHeader", "height": 1,
        "boxes": [{"x": 0, "y": 0, "w": 1, "h": 1, "text": "abc"}]}]}]})",
     u"text"},
};
