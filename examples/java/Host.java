// A Java host of tarv_core through the installed tarv-core.jar (JNA):
//
//   CP=<prefix>/share/java/tarv-core.jar:/usr/share/java/jna.jar:/usr/share/java/protobuf.jar
//   javac -cp $CP Host.java && java -cp $CP:. -Djna.library.path=<prefix>/lib Host
//
// (with the Debian package the library is on the system loader's path and
// jna.library.path is not needed). A cash deposit, a sale paid in cash with
// change from the drawer, a sale in a currency the register does not accept
// (an error response, status 1) and bytes that are no request (status 255).
import com.google.protobuf.Timestamp;
import java.util.Map;
import java.util.TreeMap;
import tarv.core.TarvCore;
import tarv.core.TarvException;
import tarv.core.UndecodableException;
import tarv.core.proto.CashInOutAttributes;
import tarv.core.proto.Context;
import tarv.core.proto.Deposit;
import tarv.core.proto.DepositRequest;
import tarv.core.proto.DepositResponse;
import tarv.core.proto.DocumentAttributes;
import tarv.core.proto.GeneralAttributes;
import tarv.core.proto.Header;
import tarv.core.proto.Item;
import tarv.core.proto.Payment;
import tarv.core.proto.Sale;
import tarv.core.proto.SaleRequest;
import tarv.core.proto.SaleResponse;

public final class Host {
  static final long OPENED_AT = 1704103200L; // 2024-01-01T10:00:00Z, when the shift opened

  /** What the host persists between calls and sends back. */
  final TarvCore core;
  int nextDocNumber = 1;
  Map<String, GeneralAttributes> drawer = new TreeMap<>();
  CashInOutAttributes deposits = CashInOutAttributes.getDefaultInstance();
  DocumentAttributes sales = DocumentAttributes.getDefaultInstance();

  Host(TarvCore core) {
    this.core = core;
  }

  interface Call<R> {
    R run() throws TarvException;
  }

  Context context() {
    Context.Builder c = Context.newBuilder()
                            .addCurrencies("BYN")
                            .setNextDocNumber(nextDocNumber)
                            .setNextShiftNumber(1)
                            .setDeviceId(4242)
                            .setTaxNumber(190000001);
    c.getShiftCtxBuilder().setOpenedAt(Timestamp.newBuilder().setSeconds(OPENED_AT));
    c.getShiftCtxBuilder().putAllAttrs(drawer);
    return c.build();
  }

  static Header header(String currency, long at) {
    return Header.newBuilder()
        .setCashier("Иванова")
        .setCurrency(currency)
        .setAt(Timestamp.newBuilder().setSeconds(at))
        .build();
  }

  /** Prints the outcome; returns the response, or null when refused. */
  <R> R issue(String kind, Call<R> call) {
    String prefix = kind + " #" + nextDocNumber + ": ";
    try {
      return call.run();
    } catch (TarvException e) {
      System.out.println(prefix + "status 1, " + e.getCode() + ": " + e.getMessage());
    } catch (UndecodableException e) {
      System.out.println(prefix + "status 255");
    }
    return null;
  }

  void took(String kind, Map<String, GeneralAttributes> shiftAttrs, long sum, int documentSize) {
    System.out.println(kind + " #" + nextDocNumber + ": status 0, sum " + sum + ", document "
        + documentSize + " bytes");
    drawer = new TreeMap<>(shiftAttrs);
    nextDocNumber++;
    drawer.forEach((currency, cash)
                       -> System.out.println("  drawer " + currency + ": cash_in "
                           + cash.getCashIn() + ", income " + cash.getIncome()));
  }

  void deposit(long total, long at) {
    DepositRequest request =
        DepositRequest.newBuilder()
            .setContext(context())
            .setAttrs(deposits)
            .setDoc(Deposit.newBuilder().setHeader(header("BYN", at)).setSum(total))
            .build();
    DepositResponse r = issue("deposit", () -> core.deposit(request));
    if (r != null) {
      took("deposit", r.getShiftAttrsMap(), r.getSum(), r.getBinaryDoc().size());
      deposits = r.getAttrs();
    }
  }

  void sale(String currency, String name, long price, long cash, long at) {
    Sale doc =
        Sale.newBuilder()
            .setHeader(header(currency, at))
            .addItems( // one piece, 20 % VAT
                Item.newBuilder().setName(name).setPrice(price).setQuantity(1000).setTaxRate(20))
            .addPayments(Payment.newBuilder().setTypeId(0).setSum(cash)) // type 0: cash
            .build();
    SaleRequest request =
        SaleRequest.newBuilder().setContext(context()).setDoc(doc).setAttrs(sales).build();
    SaleResponse r = issue("sale", () -> core.sale(request));
    if (r != null) {
      took("sale", r.getShiftAttrsMap(), r.getSum(), r.getBinaryDoc().size());
      sales = r.getAttrs();
    }
  }

  public static void main(String[] args) {
    TarvCore core = TarvCore.load(); // jna.library.path, then the system loader
    System.out.println("tarv_core " + core.version());
    Host host = new Host(core);
    host.deposit(10000, OPENED_AT + 600);
    host.sale("BYN", "Хлеб", 250, 1000, OPENED_AT + 1200);
    host.sale("USD", "Хлеб", 250, 1000, OPENED_AT + 1500);
    host.issue("sale", () -> core.call("sale", new byte[] {0x07})); // wire type 7: not a message
  }
}
