package tarv.core;

/**
 * The library refused a document (status 1): {@link #getCode()} is the error
 * code such as "tarv.core.receipt.currency", {@link #getMessage()} its Russian
 * text for the cashier. Nothing was counted and no document was issued.
 */
public final class TarvException extends Exception {
  private static final long serialVersionUID = 1L;
  private final String code;

  public TarvException(String code, String message) {
    super(message);
    this.code = code;
  }

  /** The error code, e.g. "tarv.core.shift.closed". */
  public String getCode() {
    return code;
  }

  @Override
  public String toString() {
    return "TarvException: " + code + ": " + getMessage();
  }
}
