// The answer of one call as the host shows it: the export, the status, the
// response in the JSON mapping and its binary document decoded. `tarv call`
// prints it, the journal gives it back, the server answers it.
#ifndef TARV_HOST_ANSWER_H_
#define TARV_HOST_ANSWER_H_

#include <string>

#include "host/exports.h"
#include "host/json.h"

namespace tarv::host {

Json answer_json(const Export& e, const CallOutcome& outcome);

}  // namespace tarv::host

#endif  // TARV_HOST_ANSWER_H_
