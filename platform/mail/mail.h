// Handing a message with a file attached to the user's mailer: the desktop's
// mail program where one is set up (it lets the user address the message),
// else the system's sendmail with the addresses given.
#pragma once

#include <string>

namespace vt_mail {

enum class MailResult { kHandedOver, kNoMailer, kFailed };

struct MailMessage {
  std::string to;        // needed by sendmail only
  std::string subject;   // Windows-1252
  std::string body;      // Windows-1252
  std::string attachmentPath;  // program text
  std::string attachmentName;  // the name the receiver sees
};

// Whether the desktop has a mail program for mailto: links (it then asks for
// the addresses itself).
bool DesktopMailerAvailable();
// Whether sendmail is found on the PATH or in its usual places.
bool SendmailAvailable();
// The desktop's mailer when available, else sendmail; error gets a short
// reason when the result is not kHandedOver.
MailResult SendMail(const MailMessage& message, std::string* error);
// The message as sendmail reads it (headers, text, the file in base64);
// false when the file cannot be read.
bool BuildMimeMessage(const MailMessage& message, std::string* out);

}  // namespace vt_mail
