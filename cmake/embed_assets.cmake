# Writes a C++ source holding the page's files as string constants and a table of them.
# cmake -DOUTPUT=file.cpp -DASSETS="a;b;c" -P embed_assets.cmake
set(delimiter "MARLIN_ASSET")
set(entries "")
set(constants "")
set(index 0)
foreach(asset IN LISTS ASSETS)
  get_filename_component(name "${asset}" NAME)
  get_filename_component(extension "${asset}" LAST_EXT)
  file(READ "${asset}" body)
  string(FIND "${body}" ")${delimiter}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${asset} holds the text that ends an embedded asset")
  endif()
  if(extension STREQUAL ".html")
    set(type "text/html; charset=utf-8")
  elseif(extension STREQUAL ".js")
    set(type "text/javascript; charset=utf-8")
  elseif(extension STREQUAL ".css")
    set(type "text/css; charset=utf-8")
  elseif(extension STREQUAL ".svg")
    set(type "image/svg+xml")
  else()
    message(FATAL_ERROR "${asset}: no content type for ${extension}")
  endif()
  if(name STREQUAL "index.html")
    set(path "/")
  else()
    set(path "/${name}")
  endif()
  string(APPEND constants "constexpr char kAsset${index}[] = R\"${delimiter}(${body})${delimiter}\";\n")
  string(APPEND entries "    {\"${path}\", \"${type}\", {kAsset${index}, sizeof kAsset${index} - 1}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE "${OUTPUT}.new" "// Generated from app/panel/assets/ at build time; edit those files instead.
#include \"app/panel/panel_assets.h\"

namespace marlin::panel {
namespace {

${constants}
const Asset kAssets[] = {
${entries}};

}  // namespace

const Asset* FindAsset(std::string_view path) {
  for (const Asset& asset : kAssets) {
    if (asset.path == path) return &asset;
  }
  return nullptr;
}

}  // namespace marlin::panel
")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
