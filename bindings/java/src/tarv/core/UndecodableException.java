package tarv.core;

/**
 * The request bytes are not a message of the export's type (status 255): the
 * library wrote one line to standard error and answered nothing. Requests
 * built with the generated classes never get it, so it is unchecked.
 */
public final class UndecodableException extends RuntimeException {
  private static final long serialVersionUID = 1L;

  public UndecodableException(String exportName) {
    super(exportName + ": the request does not decode (status 255)");
  }
}
