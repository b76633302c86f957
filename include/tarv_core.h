/* tarv_core: the computing core of a fiscal cash register.
 *
 * Every document export takes one Protocol Buffers request (see
 * tarv_core.proto) and answers with one Protocol Buffers response in a buffer
 * that the library allocates. The host owns that buffer after the call and
 * returns it with tarvcore_free_buffer. The library keeps no state between
 * calls: the shift counters travel in the request and come back in the
 * response. Every export may be called from any number of threads at once.
 */
#ifndef TARV_CORE_H_
#define TARV_CORE_H_

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* TARV_CORE_API marks the eleven exports. On Windows the DLL exports them
 * (dllexport while the library is built) and a host imports them
 * (dllimport), which lets a C host read TARV_CORE_VERSION as data. */
#if defined(_WIN32) || defined(__CYGWIN__)
#if defined(TARV_CORE_BUILDING)
#define TARV_CORE_API __declspec(dllexport)
#else
#define TARV_CORE_API __declspec(dllimport)
#endif
#elif defined(TARV_CORE_BUILDING) && defined(__GNUC__)
#define TARV_CORE_API __attribute__((visibility("default")))
#else
#define TARV_CORE_API
#endif

/* Status byte of every document export. */
enum {
  /* The success response was written (DocumentResponse, ReportResponse for
   * the report, OrderResponse for an order). */
  TARV_STATUS_OK = 0,
  /* An ErrorResponse (code and Russian message) was written. */
  TARV_STATUS_ERROR = 1,
  /* The request is not a decodable message: one line went to standard error
   * and the out-parameters were not touched. Nothing is to be freed. */
  TARV_STATUS_UNDECODABLE = 255
};

/* The version record: 16 bytes on every platform, two 64-bit words. The
 * first holds the address of the text "2.0.1" (zero-extended where addresses
 * are 32 bits wide), the second its length 5. A C host reads the text as
 *   (const char*)(uintptr_t)TARV_CORE_VERSION.address
 * and gets the same address that tarvcore_get_version returns. */
typedef struct tarvcore_version {
  uint64_t address;
  uint64_t length;
} tarvcore_version;

TARV_CORE_API extern const tarvcore_version TARV_CORE_VERSION;

/* Returns the static version text "2.0.1" (not NUL-terminated for the
 * caller's purposes: use the length); writes 5 into *length and 1 into *flag.
 * The flag is always 1 and tells nothing more; a host may pass NULL for it or
 * ignore it. Never allocates; the text must not be freed. */
TARV_CORE_API const char* tarvcore_get_version(uint32_t* length, uint8_t* flag);

/* Returns a response buffer to the heap. A null buffer or a length of 0 does
 * nothing. */
TARV_CORE_API void tarvcore_free_buffer(uint8_t* buffer, uint64_t length);

/* The type of every document export. It reads request_length bytes at
 * request (nothing when the length is 0: the empty request), and on status 0
 * or 1 writes the response buffer and its exact length through the last two
 * arguments. A host that chooses an export at run time holds a
 * tarvcore_export_fn*. */
typedef uint8_t tarvcore_export_fn(const uint8_t* request, uint64_t request_length,
                                   uint8_t** response, uint64_t* response_length);

/* DepositRequest -> DocumentResponse (a 56-byte deposit document). */
TARV_CORE_API tarvcore_export_fn tarvcore_create_deposit;
/* WithdrawRequest -> DocumentResponse. */
TARV_CORE_API tarvcore_export_fn tarvcore_create_withdraw;
/* CardHolderWithdrawRequest -> DocumentResponse. */
TARV_CORE_API tarvcore_export_fn tarvcore_create_ch_withdraw;
/* SaleRequest -> DocumentResponse with the completed Sale. */
TARV_CORE_API tarvcore_export_fn tarvcore_create_sale;
/* RefundRequest -> DocumentResponse with the completed Refund. */
TARV_CORE_API tarvcore_export_fn tarvcore_create_refund;
/* RollbackRequest (a signed sale document) -> DocumentResponse. */
TARV_CORE_API tarvcore_export_fn tarvcore_create_rollback;
/* ReportRequest -> ReportResponse (the shift-close report document). */
TARV_CORE_API tarvcore_export_fn tarvcore_create_report;
/* OrderRequest -> OrderResponse (order counters, no fiscal document). */
TARV_CORE_API tarvcore_export_fn tarvcore_register_order;

#ifdef __cplusplus
}
#endif

#endif /* TARV_CORE_H_ */
