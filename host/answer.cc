#include "host/answer.h"

#include "converter/document.h"
#include "host/doc_view.h"
#include "include/tarv_core.h"

namespace tarv::host {

Json answer_json(const Export& e, const CallOutcome& outcome) {
  Json j = {{"export", e.symbol}, {"status", outcome.status}};
  if (outcome.response) j["response"] = message_json(*outcome.response);
  if (!outcome.binary_doc.empty()) {
    const auto doc = converter::decode(
        {reinterpret_cast<const uint8_t*>(outcome.binary_doc.data()), outcome.binary_doc.size()});
    if (doc) {
      j["document"] = document_json(*doc);
    } else {
      j["document_error"] = converter::render(doc.error());
    }
  }
  return j;
}

}  // namespace tarv::host
