package tarv.core;

import com.google.protobuf.InvalidProtocolBufferException;
import com.google.protobuf.MessageLite;
import com.google.protobuf.Parser;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.Pointer;
import com.sun.jna.ptr.ByteByReference;
import com.sun.jna.ptr.IntByReference;
import com.sun.jna.ptr.LongByReference;
import com.sun.jna.ptr.PointerByReference;
import java.io.File;
import java.nio.charset.StandardCharsets;
import tarv.core.proto.CardHolderWithdrawRequest;
import tarv.core.proto.CardHolderWithdrawResponse;
import tarv.core.proto.DepositRequest;
import tarv.core.proto.DepositResponse;
import tarv.core.proto.ErrorResponse;
import tarv.core.proto.OrderRequest;
import tarv.core.proto.OrderResponse;
import tarv.core.proto.RefundRequest;
import tarv.core.proto.RefundResponse;
import tarv.core.proto.ReportRequest;
import tarv.core.proto.ReportResponse;
import tarv.core.proto.RollbackRequest;
import tarv.core.proto.RollbackResponse;
import tarv.core.proto.SaleRequest;
import tarv.core.proto.SaleResponse;
import tarv.core.proto.WithdrawRequest;
import tarv.core.proto.WithdrawResponse;

/**
 * tarv_core for Java and Kotlin hosts: the computing core of a fiscal cash
 * register, loaded through JNA.
 *
 * <pre>
 * TarvCore core = TarvCore.load();
 * DepositResponse r = core.deposit(DepositRequest.newBuilder()...build());
 * </pre>
 *
 * Every document method takes its request message (package tarv.core.proto)
 * and returns the typed response. The library keeps no state: the host stores
 * the counters and the cash position each response carries and sends them
 * with the next request. A refused document throws {@link TarvException};
 * bytes that are no request throw {@link UndecodableException}.
 *
 * <p>An instance may be used from any number of threads at once: it holds
 * nothing that a call changes, and the library's exports share nothing.
 */
public final class TarvCore {
  /** The library's soname. */
  public static final String SONAME = "libtarv_core.so.2";

  private static final int STATUS_OK = 0;
  private static final int STATUS_ERROR = 1;
  private static final int STATUS_UNDECODABLE = 255;

  /** The C exports of tarv_core.h. */
  interface Api extends Library {
    Pointer tarvcore_get_version(IntByReference length, ByteByReference flag);

    void tarvcore_free_buffer(Pointer buffer, long length);

    byte tarvcore_create_deposit(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_create_withdraw(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_create_ch_withdraw(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_create_sale(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_create_refund(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_create_rollback(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_create_report(byte[] r, long n, PointerByReference out, LongByReference len);

    byte tarvcore_register_order(byte[] r, long n, PointerByReference out, LongByReference len);
  }

  /** One document export of the library. */
  private interface Export {
    byte call(byte[] r, long n, PointerByReference out, LongByReference len);
  }

  private final Api api;

  private TarvCore(Api api) {
    this.api = api;
  }

  /**
   * Loads libtarv_core.so.2 from the folders of the system property
   * jna.library.path, else through the system loader (LD_LIBRARY_PATH, the
   * loader cache), else as "tarv_core" by JNA's own rules (libtarv_core.so,
   * as on Android).
   */
  public static TarvCore load() {
    String paths = System.getProperty("jna.library.path");
    if (paths != null) {
      for (String dir : paths.split(File.pathSeparator)) {
        File file = new File(dir, SONAME);
        if (!dir.isEmpty() && file.isFile()) {
          return load(file.getAbsolutePath());
        }
      }
    }
    try {
      return load(SONAME);
    } catch (UnsatisfiedLinkError e) {
      return load("tarv_core");
    }
  }

  /** Loads the library from a path or by a name that JNA resolves. */
  public static TarvCore load(String pathOrName) {
    return new TarvCore(Native.load(pathOrName, Api.class));
  }

  /** The library's version text, "2.0.1". */
  public String version() {
    IntByReference length = new IntByReference();
    Pointer text = api.tarvcore_get_version(length, new ByteByReference());
    return new String(text.getByteArray(0, length.getValue()), StandardCharsets.UTF_8);
  }

  /**
   * Calls one export by its name ("sale") or symbol ("tarvcore_create_sale")
   * with encoded request bytes and returns the encoded success response.
   *
   * @throws TarvException on an error response (status 1)
   * @throws UndecodableException when the bytes do not decode (status 255)
   * @throws IllegalArgumentException for an unknown export
   */
  public byte[] call(String exportName, byte[] request) throws TarvException {
    Export export = export(exportName);
    PointerByReference out = new PointerByReference();
    LongByReference length = new LongByReference();
    int status = export.call(request, request.length, out, length) & 0xff;
    if (status == STATUS_UNDECODABLE) {
      throw new UndecodableException(exportName); // nothing written, nothing to free
    }
    byte[] answer;
    try {
      Pointer buffer = out.getValue();
      long size = length.getValue();
      answer = size == 0 ? new byte[0] : buffer.getByteArray(0, Math.toIntExact(size));
    } finally {
      api.tarvcore_free_buffer(out.getValue(), length.getValue());
    }
    if (status == STATUS_ERROR) {
      ErrorResponse error = parse(ErrorResponse.parser(), answer);
      throw new TarvException(error.getCode(), error.getMessage());
    }
    if (status != STATUS_OK) {
      throw new IllegalStateException(exportName + ": unknown status " + status);
    }
    return answer;
  }

  /** DepositRequest to DepositResponse (a 56-byte deposit document). */
  public DepositResponse deposit(DepositRequest request) throws TarvException {
    return document("deposit", request, DepositResponse.parser());
  }

  /** WithdrawRequest to WithdrawResponse. */
  public WithdrawResponse withdraw(WithdrawRequest request) throws TarvException {
    return document("withdraw", request, WithdrawResponse.parser());
  }

  /** CardHolderWithdrawRequest to CardHolderWithdrawResponse. */
  public CardHolderWithdrawResponse chWithdraw(CardHolderWithdrawRequest request)
      throws TarvException {
    return document("ch_withdraw", request, CardHolderWithdrawResponse.parser());
  }

  /** SaleRequest to SaleResponse with the completed sale and its change. */
  public SaleResponse sale(SaleRequest request) throws TarvException {
    return document("sale", request, SaleResponse.parser());
  }

  /** RefundRequest to RefundResponse. */
  public RefundResponse refund(RefundRequest request) throws TarvException {
    return document("refund", request, RefundResponse.parser());
  }

  /** RollbackRequest (a signed sale document) to RollbackResponse. */
  public RollbackResponse rollback(RollbackRequest request) throws TarvException {
    return document("rollback", request, RollbackResponse.parser());
  }

  /** ReportRequest to ReportResponse (the shift-close report). */
  public ReportResponse report(ReportRequest request) throws TarvException {
    return document("report", request, ReportResponse.parser());
  }

  /** OrderRequest to OrderResponse (order counters, no document). */
  public OrderResponse order(OrderRequest request) throws TarvException {
    return document("order", request, OrderResponse.parser());
  }

  private <R> R document(String name, MessageLite request, Parser<R> parser) throws TarvException {
    return parse(parser, call(name, request.toByteArray()));
  }

  private static <R> R parse(Parser<R> parser, byte[] bytes) {
    try {
      return parser.parseFrom(bytes);
    } catch (InvalidProtocolBufferException e) {
      throw new IllegalStateException("tarv_core answered a response that does not parse", e);
    }
  }

  private Export export(String name) {
    switch (name) {
      case "deposit":
      case "tarvcore_create_deposit":
        return api::tarvcore_create_deposit;
      case "withdraw":
      case "tarvcore_create_withdraw":
        return api::tarvcore_create_withdraw;
      case "ch_withdraw":
      case "tarvcore_create_ch_withdraw":
        return api::tarvcore_create_ch_withdraw;
      case "sale":
      case "tarvcore_create_sale":
        return api::tarvcore_create_sale;
      case "refund":
      case "tarvcore_create_refund":
        return api::tarvcore_create_refund;
      case "rollback":
      case "tarvcore_create_rollback":
        return api::tarvcore_create_rollback;
      case "report":
      case "tarvcore_create_report":
        return api::tarvcore_create_report;
      case "order":
      case "tarvcore_register_order":
        return api::tarvcore_register_order;
      default:
        throw new IllegalArgumentException("unknown export '" + name
            + "' (one of deposit, withdraw, ch_withdraw, sale, refund, rollback, report,"
            + " order)");
    }
  }
}
