/* A minimal C host of tarv_core: a cash deposit, then a sale paid in cash
 * with change from the drawer, then a sale in a currency the register does
 * not accept. The requests are encoded by hand with a few lines of protobuf
 * wire format; the host keeps the counters it gets back as opaque bytes and
 * sends them with the next request.
 *
 *   cc host.c $(pkg-config --cflags --libs tarv_core) -o host
 */
#include <inttypes.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tarv_core.h>

/* ---- protobuf wire format, just what the requests and responses need ---- */

typedef struct {
  uint8_t* data;
  size_t len, cap;
} buf;

static void put_raw(buf* b, const void* p, size_t n) {
  if (b->len + n > b->cap) {
    b->cap = (b->len + n) * 2;
    b->data = realloc(b->data, b->cap);
    if (!b->data) abort();
  }
  if (n) memcpy(b->data + b->len, p, n);
  b->len += n;
}

static void put_varint(buf* b, uint64_t v) {
  do {
    uint8_t byte = (uint8_t)((v & 0x7F) | (v > 0x7F ? 0x80 : 0));
    put_raw(b, &byte, 1);
    v >>= 7;
  } while (v);
}

/* A number field (wire type 0); zero is left out, as proto3 does. */
static void put_uint(buf* b, unsigned field, uint64_t v) {
  if (!v) return;
  put_varint(b, field << 3);
  put_varint(b, v);
}

/* A string, bytes or message field (wire type 2). */
static void put_bytes(buf* b, unsigned field, const void* p, size_t n) {
  put_varint(b, field << 3 | 2);
  put_varint(b, n);
  put_raw(b, p, n);
}

static void put_str(buf* b, unsigned field, const char* s) { put_bytes(b, field, s, strlen(s)); }

/* A message field built in its own buffer, which it consumes. */
static void put_msg(buf* b, unsigned field, buf* m) {
  put_bytes(b, field, m->data, m->len);
  free(m->data);
  *m = (buf){0};
}

/* One field of an encoded message: a number (wire type 0) or bytes (2). */
typedef struct {
  unsigned number;
  uint64_t value;
  const uint8_t* data;
  size_t len;
} field;

static int get_varint(const uint8_t** p, const uint8_t* end, uint64_t* v) {
  *v = 0;
  for (int shift = 0; *p < end && shift < 64; shift += 7) {
    uint8_t byte = *(*p)++;
    *v |= (uint64_t)(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return 1;
  }
  return 0;
}

/* Reads the next field at *p; 0 at the end or on anything unexpected. */
static int next_field(const uint8_t** p, const uint8_t* end, field* f) {
  uint64_t key;
  if (*p >= end || !get_varint(p, end, &key)) return 0;
  f->number = (unsigned)(key >> 3);
  if ((key & 7) == 0) return get_varint(p, end, &f->value);
  if ((key & 7) != 2 || !get_varint(p, end, &f->value) || f->value > (uint64_t)(end - *p)) return 0;
  f->data = *p;
  f->len = (size_t)f->value;
  *p += f->len;
  return 1;
}

/* ---- the host ---- */

#define OPENED_AT 1704103200 /* 2024-01-01T10:00:00Z, when the shift opened */

/* What the host persists between calls. */
typedef struct {
  uint32_t next_doc_number;
  buf drawer;   /* ShiftContext.attrs entries: the cash position by currency */
  buf deposits; /* CashInOutAttributes of the deposits */
  buf sales;    /* DocumentAttributes of the sales */
} register_state;

static buf timestamp(int64_t seconds) {
  buf t = {0};
  put_uint(&t, 1, (uint64_t)seconds);
  return t;
}

static buf context(const register_state* s) {
  buf opened = timestamp(OPENED_AT), shift = {0}, ctx = {0};
  put_msg(&shift, 1, &opened);
  put_raw(&shift, s->drawer.data, s->drawer.len); /* the entries as the library sent them */
  put_str(&ctx, 1, "BYN");
  put_msg(&ctx, 3, &shift);
  put_uint(&ctx, 4, s->next_doc_number);
  put_uint(&ctx, 5, 1);         /* shift number */
  put_uint(&ctx, 6, 4242);      /* register identifier */
  put_uint(&ctx, 7, 190000001); /* taxpayer number */
  return ctx;
}

static buf header(const char* currency, int64_t at) {
  buf h = {0}, t = timestamp(at);
  put_str(&h, 1, "Иванова");
  put_str(&h, 2, currency);
  put_msg(&h, 3, &t);
  return h;
}

/* The cash position: map entries of key = 1 (currency) and value = 2
 * (GeneralAttributes: cash_in = 1, income = 2). */
static void print_drawer(const buf* drawer) {
  const uint8_t* p = drawer->data;
  field entry, f, g;
  while (next_field(&p, drawer->data + drawer->len, &entry)) {
    const uint8_t* q = entry.data;
    field key = {0};
    int64_t cash_in = 0, income = 0;
    while (next_field(&q, entry.data + entry.len, &f)) {
      if (f.number == 1) key = f;
      if (f.number != 2) continue;
      const uint8_t* v = f.data;
      while (next_field(&v, f.data + f.len, &g)) {
        if (g.number == 1) cash_in = (int64_t)g.value;
        if (g.number == 2) income = (int64_t)g.value;
      }
    }
    printf("  drawer %.*s: cash_in %" PRId64 ", income %" PRId64 "\n", (int)key.len,
           (const char*)key.data, cash_in, income);
  }
}

/* Prints a response; on status 0 keeps its counters in *counters and the new
 * cash position in the state. Frees the response buffer. */
static void finish(const char* what, register_state* s, buf* counters, uint8_t status,
                   uint8_t* response, uint64_t length) {
  const uint8_t *p = response, *end = response + length;
  field f;
  printf("%s #%" PRIu32 ": status %u", what, s->next_doc_number, status);
  if (status == TARV_STATUS_UNDECODABLE) { /* nothing was written, nothing to free */
    printf("\n");
    return;
  }
  if (status == TARV_STATUS_ERROR) { /* ErrorResponse: code = 1, message = 2 */
    while (next_field(&p, end, &f)) printf(f.number == 1 ? ", %.*s" : ": %.*s", (int)f.len, f.data);
    printf("\n");
    tarvcore_free_buffer(response, length);
    return;
  }
  /* DocumentResponse: shift_attrs = 1 (map entries), attrs = 2, binary_doc = 4, sum = 6. */
  s->drawer.len = 0;
  counters->len = 0;
  size_t document = 0;
  uint64_t sum = 0;
  while (next_field(&p, end, &f)) {
    if (f.number == 1) put_bytes(&s->drawer, 3, f.data, f.len); /* re-tagged for ShiftContext */
    if (f.number == 2) put_raw(counters, f.data, f.len);
    if (f.number == 4) document = f.len;
    if (f.number == 6) sum = f.value;
  }
  printf(", sum %" PRIu64 ", document %zu bytes\n", sum, document);
  s->next_doc_number++;
  print_drawer(&s->drawer);
  tarvcore_free_buffer(response, length);
}

static void deposit(register_state* s, uint64_t sum, int64_t at) {
  buf doc = header("BYN", at), deposit = {0}, request = {0}, ctx = context(s);
  put_msg(&deposit, 1, &doc);
  put_uint(&deposit, 2, sum);
  put_msg(&request, 1, &ctx);
  put_msg(&request, 2, &deposit);
  put_bytes(&request, 3, s->deposits.data, s->deposits.len); /* present even when empty */
  uint8_t* response = NULL;
  uint64_t length = 0;
  uint8_t status = tarvcore_create_deposit(request.data, request.len, &response, &length);
  finish("deposit", s, &s->deposits, status, response, length);
  free(request.data);
}

/* One line of `price` kopecks (one piece, 20 % VAT) paid with `cash`. */
static void sale(register_state* s, const char* currency, const char* name, uint64_t price,
                 uint64_t cash, int64_t at) {
  buf doc = header(currency, at), item = {0}, payment = {0}, sale = {0}, request = {0},
      ctx = context(s);
  put_str(&item, 1, name);
  put_uint(&item, 2, price);
  put_uint(&item, 3, 1000); /* thousandths: one piece */
  put_varint(&item, 30 << 3);
  put_varint(&item, 20);    /* tax_rate has presence: written even when 0 */
  put_uint(&payment, 1, 0); /* type_id 0, cash: the default, so not written */
  put_uint(&payment, 2, cash);
  put_msg(&sale, 1, &doc);
  put_msg(&sale, 2, &item);
  put_msg(&sale, 20, &payment);
  put_msg(&request, 1, &ctx);
  put_msg(&request, 2, &sale);
  put_bytes(&request, 3, s->sales.data, s->sales.len);
  uint8_t* response = NULL;
  uint64_t length = 0;
  uint8_t status = tarvcore_create_sale(request.data, request.len, &response, &length);
  finish("sale", s, &s->sales, status, response, length);
  free(request.data);
}

int main(void) {
  uint32_t length;
  uint8_t flag;
  const char* version = tarvcore_get_version(&length, &flag);
  printf("tarv_core %.*s\n", (int)length, version);

  register_state s = {.next_doc_number = 1};
  deposit(&s, 10000, OPENED_AT + 600);
  sale(&s, "BYN", "Хлеб", 250, 1000, OPENED_AT + 1200);
  sale(&s, "USD", "Хлеб", 250, 1000, OPENED_AT + 1500);
  free(s.drawer.data);
  free(s.deposits.data);
  free(s.sales.data);
  return 0;
}
