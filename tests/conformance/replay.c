/* Replays the conformance corpus against a build of tarv_core, as a plain C
 * host does: every recorded call once in order, then the whole corpus on
 * four threads at once, each response compared byte for byte; and the
 * version record and tarvcore_get_version checked. C11, no protobuf; threads
 * are pthreads, or Win32 threads on Windows.
 *
 *   replay CORPUS
 *
 * The library's diagnostic lines go to the null device unless
 * TARV_REPLAY_STDERR is set. Exit status 0 when everything matched. */
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tarv_core.h"

#if defined(_WIN32)
#include <windows.h>
#define NULL_DEVICE "NUL"
#else
#include <pthread.h>
#define NULL_DEVICE "/dev/null"
#endif

enum { kThreads = 4, kMaxReports = 10 };
static const uint64_t kUntouched = 0xDEADBEEFu;

/* One recorded call. */
typedef struct {
  const char* name;
  tarvcore_export_fn* fn;
  uint8_t* request;
  size_t request_length;
  int status;
  uint8_t* response;
  size_t response_length;
  long line; /* of its "call" line in the corpus */
} call_t;

typedef struct {
  call_t* calls;
  size_t count;
} corpus_t;

/* The document exports by name. Filled at run time: the address of an
 * imported function is not a constant where the DLL provides it. */
static tarvcore_export_fn* find_export(const char* name) {
  const struct {
    const char* name;
    tarvcore_export_fn* fn;
  } exports[] = {
      {"tarvcore_create_deposit", tarvcore_create_deposit},
      {"tarvcore_create_withdraw", tarvcore_create_withdraw},
      {"tarvcore_create_ch_withdraw", tarvcore_create_ch_withdraw},
      {"tarvcore_create_sale", tarvcore_create_sale},
      {"tarvcore_create_refund", tarvcore_create_refund},
      {"tarvcore_create_rollback", tarvcore_create_rollback},
      {"tarvcore_create_report", tarvcore_create_report},
      {"tarvcore_register_order", tarvcore_register_order},
  };
  for (size_t i = 0; i < sizeof exports / sizeof exports[0]; ++i) {
    if (strcmp(exports[i].name, name) == 0) return exports[i].fn;
  }
  return NULL;
}

static void* grow(void* block, size_t size) {
  void* grown = realloc(block, size);
  if (grown == NULL) {
    fprintf(stdout, "replay: out of memory\n");
    exit(2);
  }
  return grown;
}

static int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

/* Appends the bytes of a hex line to *bytes (of *length, capacity *cap). */
static int append_hex(const char* hex, uint8_t** bytes, size_t* length, size_t* cap) {
  size_t n = strlen(hex);
  if (n % 2 != 0) return 0;
  if (*length + n / 2 > *cap) {
    *cap = (*length + n / 2) * 2;
    *bytes = grow(*bytes, *cap);
  }
  for (size_t i = 0; i < n; i += 2) {
    int hi = hex_digit(hex[i]), lo = hex_digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return 0;
    (*bytes)[(*length)++] = (uint8_t)(hi << 4 | lo);
  }
  return 1;
}

static char* read_file(const char* path) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  size_t length = 0, cap = 1 << 20;
  char* text = grow(NULL, cap);
  size_t got;
  while ((got = fread(text + length, 1, cap - length - 1, f)) > 0) {
    length += got;
    if (cap - length - 1 == 0) text = grow(text, cap *= 2);
  }
  fclose(f);
  text[length] = '\0';
  return text;
}

/* Parses the corpus text (modified in place) into calls. */
static int parse(char* text, corpus_t* corpus) {
  size_t cap = 0, request_cap = 0, response_cap = 0;
  call_t* current = NULL;
  long line_number = 0;
  for (char* line = strtok(text, "\r\n"); line != NULL; line = strtok(NULL, "\r\n")) {
    ++line_number;
    if (line[0] == '#' || line[0] == '\0') continue;
    char name[64];
    unsigned long long length;
    int status;
    if (sscanf(line, "call %63s %llu", name, &length) == 2) {
      if (corpus->count == cap) {
        cap = cap ? cap * 2 : 1024;
        corpus->calls = grow(corpus->calls, cap * sizeof *corpus->calls);
      }
      current = &corpus->calls[corpus->count++];
      memset(current, 0, sizeof *current);
      current->fn = find_export(name);
      current->line = line_number;
      current->status = -1;
      request_cap = response_cap = 0;
      if (current->fn == NULL) {
        printf("corpus line %ld: unknown export %s\n", line_number, name);
        return 0;
      }
      current->name = strstr(line, "tarvcore_");
      *strchr(current->name, ' ') = '\0';
    } else if (current != NULL && line[0] == '>' && line[1] == ' ') {
      if (!append_hex(line + 2, &current->request, &current->request_length, &request_cap)) {
        printf("corpus line %ld: bad hex\n", line_number);
        return 0;
      }
    } else if (current != NULL && sscanf(line, "status %d %llu", &status, &length) == 2) {
      current->status = status;
    } else if (current != NULL && line[0] == '<' && line[1] == ' ') {
      if (!append_hex(line + 2, &current->response, &current->response_length, &response_cap)) {
        printf("corpus line %ld: bad hex\n", line_number);
        return 0;
      }
    } else {
      printf("corpus line %ld: not understood\n", line_number);
      return 0;
    }
  }
  for (size_t i = 0; i < corpus->count; ++i) {
    if (corpus->calls[i].status < 0) {
      printf("corpus line %ld: call without status\n", corpus->calls[i].line);
      return 0;
    }
  }
  return 1;
}

/* Makes one call; 1 when status and response are the recorded ones. */
static int replay_one(const call_t* c, const char* pass, int* reports) {
  static const uint8_t kNoBytes[1] = {0};
  uint8_t sentinel = 0;
  uint8_t* out = &sentinel;
  uint64_t out_length = kUntouched;
  const uint8_t* request = c->request_length ? c->request : kNoBytes;
  int status = c->fn(request, c->request_length, &out, &out_length);
  const char* fault = NULL;
  size_t at = 0;
  if (status != c->status) {
    fault = "status";
  } else if (status == TARV_STATUS_UNDECODABLE) {
    if (out != &sentinel || out_length != kUntouched) fault = "out-parameters written";
  } else if (out_length != c->response_length) {
    fault = "response length";
  } else {
    while (at < c->response_length && out[at] == c->response[at]) ++at;
    if (at < c->response_length) fault = "response byte";
  }
  if (status != TARV_STATUS_UNDECODABLE) tarvcore_free_buffer(out, out_length);
  if (fault != NULL && (*reports)++ < kMaxReports) {
    printf("%s: corpus line %ld, %s: %s differs (status %d, expected %d; length %" PRIu64
           ", expected %zu; byte %zu)\n",
           pass, c->line, c->name, fault, status, c->status, out_length, c->response_length, at);
  }
  return fault == NULL;
}

typedef struct {
  const corpus_t* corpus;
  size_t start;
  size_t failures;
  int reports;
} worker_t;

/* Replays the whole corpus, beginning at `start`, so that the threads make
 * different calls at the same time. */
static void run_worker(worker_t* w) {
  for (size_t i = 0; i < w->corpus->count; ++i) {
    const call_t* c = &w->corpus->calls[(w->start + i) % w->corpus->count];
    if (!replay_one(c, "threads", &w->reports)) ++w->failures;
  }
}

#if defined(_WIN32)
static DWORD WINAPI worker_main(LPVOID arg) {
  run_worker(arg);
  return 0;
}
#else
static void* worker_main(void* arg) {
  run_worker(arg);
  return NULL;
}
#endif

static size_t replay_threads(const corpus_t* corpus) {
  worker_t workers[kThreads];
#if defined(_WIN32)
  HANDLE threads[kThreads];
#else
  pthread_t threads[kThreads];
#endif
  for (int t = 0; t < kThreads; ++t) {
    workers[t] = (worker_t){corpus, corpus->count * (size_t)t / kThreads, 0, 0};
#if defined(_WIN32)
    threads[t] = CreateThread(NULL, 0, worker_main, &workers[t], 0, NULL);
    if (threads[t] == NULL) return corpus->count;
#else
    if (pthread_create(&threads[t], NULL, worker_main, &workers[t]) != 0) return corpus->count;
#endif
  }
  size_t failures = 0;
  for (int t = 0; t < kThreads; ++t) {
#if defined(_WIN32)
    WaitForSingleObject(threads[t], INFINITE);
    CloseHandle(threads[t]);
#else
    pthread_join(threads[t], NULL);
#endif
    failures += workers[t].failures;
  }
  return failures;
}

/* The version text through the function and through the exported record,
 * the record's layout, and the release of null and empty buffers. */
static int check_version(void) {
  _Static_assert(sizeof(tarvcore_version) == 16, "the version record is two 64-bit words");
  uint32_t length = 0;
  uint8_t flag = 0;
  const char* text = tarvcore_get_version(&length, &flag);
  int ok = text != NULL && length == 5 && flag == 1 && memcmp(text, "2.0.1", 5) == 0;
  if (!ok) printf("version: tarvcore_get_version gives length %u, flag %u\n", length, flag);
  if (TARV_CORE_VERSION.address != (uint64_t)(uintptr_t)text || TARV_CORE_VERSION.length != 5) {
    printf("version: TARV_CORE_VERSION is {0x%" PRIx64 ", %" PRIu64 "}, text at %p\n",
           TARV_CORE_VERSION.address, TARV_CORE_VERSION.length, (const void*)text);
    ok = 0;
  }
  uint8_t on_stack = 0;
  tarvcore_free_buffer(NULL, 16);
  tarvcore_free_buffer(&on_stack, 0);
  return ok;
}

/* Where size_t is narrower than 64 bits: a request length beyond it is
 * refused as undecodable by every export, never cut to its low bits (which
 * would make these three bytes a request with one unknown field). */
static int check_length_beyond_address_space(void) {
  static const char* const kNames[] = {"tarvcore_create_deposit",     "tarvcore_create_withdraw",
                                       "tarvcore_create_ch_withdraw", "tarvcore_create_sale",
                                       "tarvcore_create_refund",      "tarvcore_create_rollback",
                                       "tarvcore_create_report",      "tarvcore_register_order"};
  static const uint8_t kRequest[3] = {0xF8, 0x01, 0x01};
  int ok = 1;
  for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
    uint8_t sentinel = 0;
    uint8_t* out = &sentinel;
    uint64_t out_length = kUntouched;
    uint8_t status = find_export(kNames[i])(kRequest, ((uint64_t)1 << 32) + 3, &out, &out_length);
    if (status != TARV_STATUS_UNDECODABLE || out != &sentinel || out_length != kUntouched) {
      printf("%s: a request length of 2^32 + 3 gave status %u\n", kNames[i], status);
      ok = 0;
    }
  }
  return ok;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    printf("usage: replay CORPUS\n");
    return 2;
  }
  setvbuf(stdout, NULL, _IONBF, 0);
  if (getenv("TARV_REPLAY_STDERR") == NULL && freopen(NULL_DEVICE, "w", stderr) == NULL) {
    printf("replay: cannot silence standard error\n");
  }
  int ok = check_version();
  if (sizeof(size_t) < sizeof(uint64_t)) {
    const int refused = check_length_beyond_address_space();
    printf("replay: request lengths beyond the address space %s\n",
           refused ? "refused" : "NOT REFUSED");
    ok = refused && ok;
  }

  char* text = read_file(argv[1]);
  corpus_t corpus = {NULL, 0};
  if (text == NULL || !parse(text, &corpus) || corpus.count == 0) {
    printf("replay: cannot read the corpus %s\n", argv[1]);
    return 2;
  }
  size_t in_order = 0;
  int reports = 0;
  for (size_t i = 0; i < corpus.count; ++i) {
    if (!replay_one(&corpus.calls[i], "in order", &reports)) ++in_order;
  }
  size_t threaded = replay_threads(&corpus);
  printf("replay: %zu calls; in order: %zu differ; %d threads: %zu differ; version: %s\n",
         corpus.count, in_order, kThreads, threaded, ok ? "ok" : "FAILED");
  for (size_t i = 0; i < corpus.count; ++i) {
    free(corpus.calls[i].request);
    free(corpus.calls[i].response);
  }
  free(corpus.calls);
  free(text);
  return ok && in_order == 0 && threaded == 0 ? 0 : 1;
}
