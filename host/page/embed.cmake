# Writes page_files.cc: the page's files as string literals, found by
# find_page_file() (host/page.h). Regenerated when a file of the page changes.
function(tarv_embed_page output)
  set(rows "")
  foreach(name index.html app.js style.css)
    set(path ${CMAKE_CURRENT_SOURCE_DIR}/page/${name})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
    file(READ ${path} body)
    string(FIND "${body}" ")tarv_page\"" clash)
    if(NOT clash EQUAL -1)
      message(FATAL_ERROR "${path} holds the literal's delimiter")
    endif()
    if(name MATCHES "html$")
      set(type "text/html")
    elseif(name MATCHES "js$")
      set(type "text/javascript")
    else()
      set(type "text/css")
    endif()
    string(APPEND rows "    {\"/${name}\", \"${type}; charset=utf-8\", R\"tarv_page(${body})tarv_page\"},\n")
  endforeach()
  file(CONFIGURE OUTPUT ${output} @ONLY CONTENT [=[
// Generated from host/page/ by host/page/embed.cmake.
#include "host/page.h"

namespace tarv::host {
namespace {
constexpr PageFile kFiles[] = {
@rows@};
}  // namespace

const PageFile* find_page_file(std::string_view path) {
  for (const PageFile& file : kFiles) {
    if (file.path == path) return &file;
  }
  return nullptr;
}

}  // namespace tarv::host
]=])
endfunction()
