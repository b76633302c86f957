package tarv.core;

import com.google.protobuf.Message;
import com.google.protobuf.Timestamp;
import java.io.File;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import tarv.core.proto.CashInOutAttributes;
import tarv.core.proto.Context;
import tarv.core.proto.Deposit;
import tarv.core.proto.DepositRequest;
import tarv.core.proto.DepositResponse;
import tarv.core.proto.DocumentAttributes;
import tarv.core.proto.Header;
import tarv.core.proto.Item;
import tarv.core.proto.OrderRequest;
import tarv.core.proto.Payment;
import tarv.core.proto.RefundRequest;
import tarv.core.proto.ReportRequest;
import tarv.core.proto.RollbackRequest;
import tarv.core.proto.Sale;
import tarv.core.proto.SalePaymentsCalculations;
import tarv.core.proto.SaleRequest;
import tarv.core.proto.SaleResponse;
import tarv.core.proto.ShiftContext;
import tarv.core.proto.WithdrawRequest;

/**
 * tarv_core for Java against the library of the build tree: the results are
 * those the C exports give (the C++ suites assert the same values), and every
 * request of a complete demo shift, rollback included, answers with the very
 * bytes that `tarv demo` got from the C exports.
 *
 * <p>Run: java -Djna.library.path=BUILD -cp ... tarv.core.TarvCoreTest TARV_TOOL
 */
public final class TarvCoreTest {
  private static final long OPENED_AT = 1704103200L; // 2024-01-01T10:00:00Z
  private static int failures = 0;

  private static void check(boolean ok, String what) {
    if (!ok) {
      failures++;
      System.out.println("FAILED: " + what);
    }
  }

  private static void equal(Object actual, Object expected, String what) {
    check(expected.equals(actual), what + ": " + actual + " (expected " + expected + ")");
  }

  static Context context(long cashIn) {
    ShiftContext.Builder shift =
        ShiftContext.newBuilder().setOpenedAt(Timestamp.newBuilder().setSeconds(OPENED_AT));
    if (cashIn != 0) {
      shift.putAttrs(
          "BYN", tarv.core.proto.GeneralAttributes.newBuilder().setCashIn(cashIn).build());
    }
    return Context.newBuilder()
        .addCurrencies("BYN")
        .setNextDocNumber(77)
        .setNextShiftNumber(5)
        .setDeviceId(0x01020304)
        .setTaxNumber(123456789)
        .setShiftCtx(shift)
        .build();
  }

  static Header header(String currency) {
    return Header.newBuilder()
        .setCashier("Иванов")
        .setCurrency(currency)
        .setAt(Timestamp.newBuilder().setSeconds(OPENED_AT + 3600))
        .build();
  }

  /** One item of 10.00 paid 4.00 by card and 10.00 in cash: 6.00 change. */
  static SaleRequest sale(long cashIn, String currency) {
    Sale doc =
        Sale.newBuilder()
            .setHeader(header(currency))
            .addItems(
                Item.newBuilder().setName("Хлеб").setPrice(1000).setQuantity(1000).setTaxRate(20))
            .addPayments(Payment.newBuilder().setTypeId(1).setSum(400))
            .addPayments(Payment.newBuilder().setTypeId(0).setSum(1000))
            .build();
    return SaleRequest.newBuilder()
        .setContext(context(cashIn))
        .setDoc(doc)
        .setAttrs(DocumentAttributes.getDefaultInstance())
        .build();
  }

  static void deposit(TarvCore core) throws Exception {
    DepositResponse r =
        core.deposit(DepositRequest.newBuilder()
                         .setContext(context(0))
                         .setDoc(Deposit.newBuilder().setHeader(header("BYN")).setSum(100))
                         .setAttrs(CashInOutAttributes.getDefaultInstance())
                         .build());
    byte[] doc = r.getBinaryDoc().toByteArray();
    equal(doc.length, 56, "deposit document size");
    equal(Arrays.toString(Arrays.copyOfRange(doc, 29, 35)), "[1, 1, 24, 14, 0, 0]",
        "deposit local date-time");
    equal(r.getShiftAttrsOrThrow("BYN").getCashIn(), 100L, "deposit cash_in");
    equal(r.getAttrs().getCash().getSum(), 100L, "deposit counter sum");
    equal(r.getAttrs().getCash().getCount(), 1L, "deposit counter count");
  }

  static void saleWithChange(TarvCore core) throws Exception {
    SaleResponse r = core.sale(sale(400, "BYN"));
    SalePaymentsCalculations split = r.getDoc().getCalculations().getPaymentsOrThrow("BYN");
    equal(split.getCash(), 600L, "sale cash");
    equal(split.getCard(), 400L, "sale card");
    equal(split.getCashChange(), 400L, "sale change");
    equal(r.getSum(), 1000L, "sale sum");
    equal(r.getShiftAttrsOrThrow("BYN").getCashIn(), 1000L, "sale cash_in");
  }

  static void errors(TarvCore core) {
    Object[][] cases = {
        {sale(400, "USD"), "tarv.core.receipt.currency", "Валюта не поддерживается"},
        {sale(399, "BYN"), "tarv.core.receipt.cash.in", null},
        {SaleRequest.getDefaultInstance(), "tarv.core.input.malformed", "Ошибка входных данных"},
    };
    for (Object[] c : cases) {
      try {
        core.sale((SaleRequest) c[0]);
        check(false, c[1] + ": no TarvException");
      } catch (TarvException e) {
        equal(e.getCode(), c[1], "error code");
        if (c[2] != null) {
          equal(e.getMessage(), c[2], "error message");
        }
      }
    }
    byte[][] undecodable = {{0x07}, {0x0a, 0x05, 0x01}, {0x12, 0x02, 0x0a, (byte) 0xff}};
    for (byte[] bytes : undecodable) {
      try {
        core.call("sale", bytes);
        check(false, Arrays.toString(bytes) + ": no UndecodableException");
      } catch (UndecodableException expected) {
        // status 255
      } catch (TarvException e) {
        check(false, Arrays.toString(bytes) + ": " + e);
      }
    }
    try {
      core.call("sael", new byte[0]);
      check(false, "unknown export accepted");
    } catch (IllegalArgumentException | TarvException expected) {
      check(expected instanceof IllegalArgumentException, "unknown export: " + expected);
    }
  }

  static Message.Builder requestOf(String kind) {
    switch (kind) {
      case "deposit":
        return DepositRequest.newBuilder();
      case "withdraw":
        return WithdrawRequest.newBuilder();
      case "sale":
        return SaleRequest.newBuilder();
      case "refund":
        return RefundRequest.newBuilder();
      case "rollback":
        return RollbackRequest.newBuilder();
      case "report":
        return ReportRequest.newBuilder();
      case "order":
        return OrderRequest.newBuilder();
      default:
        throw new IllegalArgumentException(kind);
    }
  }

  static void demoShift(TarvCore core, String tool) throws Exception {
    Path out = Files.createTempDirectory("tarv_java_test");
    try {
      Process demo = new ProcessBuilder(tool, "demo", "--out", out.toString())
                         .redirectOutput(ProcessBuilder.Redirect.DISCARD)
                         .start();
      equal(demo.waitFor(), 0, "tarv demo");
      Set<String> kinds = new TreeSet<>();
      List<Path> requests = new ArrayList<>();
      try (var files = Files.list(out)) {
        files.filter(p -> p.toString().endsWith(".request.pb")).sorted().forEach(requests::add);
      }
      for (Path path : requests) {
        String step = path.getFileName().toString().replace(".request.pb", "");
        String kind = step.split("-")[1];
        kinds.add(kind);
        byte[] request = Files.readAllBytes(path);
        byte[] expected = Files.readAllBytes(out.resolve(step + ".response.pb"));
        check(Arrays.equals(core.call(kind, request), expected), step + ": response bytes");
        Message typed = requestOf(kind).mergeFrom(request).build();
        Message response =
            (Message) TarvCore.class.getMethod(kind, typed.getClass()).invoke(core, typed);
        check(response.equals(response.getParserForType().parseFrom(expected)),
            step + ": typed response");
      }
      equal(
          kinds.toString(), "[deposit, order, refund, report, rollback, sale, withdraw]", "kinds");
    } finally {
      try (var files = Files.walk(out)) {
        files.sorted(Comparator.reverseOrder()).map(Path::toFile).forEach(File::delete);
      }
    }
  }

  static void threads(TarvCore core) throws Exception {
    byte[] expected = core.sale(sale(400, "BYN")).toByteArray();
    ExecutorService pool = Executors.newFixedThreadPool(8);
    List<Future<Boolean>> results = new ArrayList<>();
    for (int t = 0; t < 8; t++) {
      results.add(pool.submit(() -> {
        boolean same = true;
        for (int i = 0; i < 50; i++) {
          same &= Arrays.equals(core.sale(sale(400, "BYN")).toByteArray(), expected);
          try {
            core.sale(sale(400, "USD"));
            same = false;
          } catch (TarvException e) {
            same &= e.getCode().equals("tarv.core.receipt.currency");
          }
        }
        return same;
      }));
    }
    for (Future<Boolean> f : results) {
      check(f.get(), "a thread saw another answer");
    }
    pool.shutdown();
  }

  public static void main(String[] args) throws Exception {
    TarvCore core = TarvCore.load();
    equal(core.version(), "2.0.1", "version");
    deposit(core);
    saleWithChange(core);
    errors(core);
    demoShift(core, args[0]);
    threads(core);
    if (failures != 0) {
      System.out.println(failures + " checks failed");
      System.exit(1);
    }
    System.out.println("tarv_core Java binding: all checks passed");
  }
}
