#pragma once
// Every status and error text of the socket layer, in one place, byte for byte.

#include <string>

namespace quillet::net::NMConst {

// Status texts (levels in socket.h).
inline constexpr char Cons_Msg_Create[] = "Create";
inline constexpr char Cons_Msg_Destroy[] = "Destroy";
inline constexpr char Cons_Msg_InitWinsock[] = "Initializing Winsock";
inline constexpr char Cons_Msg_Connecting[] = "Connecting";
inline constexpr char Cons_Msg_Disconnecting[] = "Disconnecting";
inline constexpr char Cons_Msg_Canceling[] = "Canceling";
inline constexpr char Cons_Msg_ResolveHost[] = "Resolve Host";
inline constexpr char Cons_Msg_LookupError[] = "Looking Up Error Message";
inline constexpr char Cons_Msg_ReadToStream[] = "ReadToStream";
inline constexpr char Cons_Msg_WriteFromStream[] = "WriteFromStream";
inline constexpr char Cons_Msg_TimerOn[] = "Timer On";
inline constexpr char Cons_Msg_TimerOff[] = "Timer Off";
inline constexpr char Cons_Msg_TimerTriggered[] = "Timer Triggered";
inline constexpr char Cons_Msg_SendingBuffer[] = "Sending Buffer";
inline constexpr char Cons_Msg_Accepting[] = "Accepting";
inline constexpr char Cons_Msg_RequestClose[] = "Request Close Socket";
inline constexpr char Cons_Msg_ErrorManager[] = "Checking Error In Error Manager";
inline constexpr char Cons_Msg_Write[] = "Write";
inline constexpr char Cons_Msg_Writeln[] = "Writeln";
inline constexpr char Cons_Msg_ReadOpen[] = "Read( ";
inline constexpr char Cons_Msg_ReadClose[] = " )";
inline constexpr char Cons_Msg_ReadLn[] = "ReadLn";
inline constexpr char Cons_Msg_Transaction[] = "Transaction";
inline constexpr char Cons_Msg_SendFile[] = "SendFile";
inline constexpr char Cons_Msg_CaptureFile[] = "CaptureFile";
inline constexpr char Cons_Msg_Listening[] = "Listening";
inline constexpr char Cons_Msg_StartTls[] = "Starting TLS";

// Winsock description lines.
inline constexpr char Cons_Info_Version[] = "Version= ";
inline constexpr char Cons_Info_HighVersion[] = "High Version= ";
inline constexpr char Cons_Info_Description[] = "Description= ";
inline constexpr char Cons_Info_System[] = "System= ";
inline constexpr char Cons_Info_MaxSockets[] = "Max Sockets= ";
inline constexpr char Cons_Info_MaxUdp[] = "Max Udp pack size= ";

// Exception texts.
inline constexpr char Sock_Err_Init[] = "Initializaton of windows sockets failed";
inline constexpr char Sock_Err_AlreadyConnected[] = "Already connected";
inline constexpr char Sock_Err_LookupTimedOut[] = "Host Lookup Timed Out";
inline constexpr char Sock_Err_LookupCanceled[] = "Host Lookup Canceled";
inline constexpr char Sock_Err_LookupFailed[] = "Host Lookup Failed";
inline constexpr char Sock_Err_NullAddress[] = "Null Remote Address";
inline constexpr char Sock_Err_ConnTimedOut[] = "Connection Timed out";
inline constexpr char Sock_Err_ConnCanceled[] = "Connection Canceled";
inline constexpr char Sock_Err_ConnFailed[] = "Connection Failed";
inline constexpr char Sock_Err_NotConnected[] = "Not Connected";
inline constexpr char Sock_Err_NoTimer[] = "No Timer";
inline constexpr char Sock_Err_SendAborted[] = "Socket send aborted";
inline constexpr char Sock_Err_ReadLnAborted[] = "Socket readln aborted";
inline constexpr char Sock_Err_AcceptCanceled[] = "Accepting Canceled";
inline constexpr char Sock_Err_DataConnection[] = "Error creating Data Connection";
inline constexpr char Sock_Err_Unknown[] = "Unknown Error No. ";
inline constexpr char Sock_Err_LineTooLong[] = "Line too long";
inline constexpr char Sock_Err_PeerClosed[] = "Connection closed by peer";

// TLS failures (ETlsError; a detail may follow in parentheses).
inline constexpr char Tls_Err_NotTls[] = "TLS: the server did not answer in TLS";
inline constexpr char Tls_Err_Protocol[] = "TLS handshake failed";
inline constexpr char Tls_Err_Ended[] = "TLS: the connection ended during the handshake";
inline constexpr char Tls_Err_Connection[] = "TLS: the connection failed during the handshake";
inline constexpr char Tls_Err_Untrusted[] = "TLS: the server's certificate is not trusted";
inline constexpr char Tls_Err_PinMismatch[] =
    "TLS: the server's certificate is not the one pinned for this site";
inline constexpr char Tls_Detail_ClearBeforeHandshake[] = "unencrypted data came before the handshake";

// The FTP client's own texts (all others it shows are the server's reply lines).
inline constexpr char Ftp_Err_UnsafeCommand[] = "Command refused: an argument holds a line break or NUL";
inline constexpr char Ftp_Err_NoReplyCode[] = "Reply without a valid code: ";
inline constexpr char Ftp_Err_TlsRefused[] = "The server refused AUTH TLS: ";
inline constexpr char Ftp_Err_ProtRefused[] = "The server refused to protect the data connections: ";
inline constexpr char Ftp_Err_NoPassivePort[] = "Passive reply without a port: ";
// "Upload incomplete: the server holds " held " of " sent " bytes sent".
inline constexpr char Ftp_Err_UploadSize[] = "Upload incomplete: the server holds ";
inline constexpr char Ftp_Err_UploadSizeOf[] = " of ";
inline constexpr char Ftp_Err_UploadSizeBytes[] = " bytes sent";
// "Download incomplete: " received " of " expected " bytes received".
inline constexpr char Ftp_Err_Incomplete[] = "Download incomplete: ";
inline constexpr char Ftp_Err_IncompleteOf[] = " of ";
inline constexpr char Ftp_Err_IncompleteBytes[] = " bytes received";

// The text of a Winsock error number as the table has it ("Connection refused"), or nullptr.
const char* winsockErrorText(int errorNo);

} // namespace quillet::net::NMConst
