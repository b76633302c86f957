// The files of the page that `tarv serve` shows at / (host/page/), compiled
// into the tool so that it serves them without files beside it.
#ifndef TARV_HOST_PAGE_H_
#define TARV_HOST_PAGE_H_

#include <string_view>

namespace tarv::host {

struct PageFile {
  std::string_view path;  // "/index.html"
  std::string_view content_type;
  std::string_view body;
};

// The file served at `path`; null when the page has none.
const PageFile* find_page_file(std::string_view path);

}  // namespace tarv::host

#endif  // TARV_HOST_PAGE_H_
