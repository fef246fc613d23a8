// What a mail server offers (an OAuth2 login, IMAP4's IDLE), read from its
// capability list: IMAP4's CAPABILITY response or response code, POP3's CAPA
// reply (RFC 5034's SASL line).
#ifndef PELIMBO_SOURCES_CAPABILITIES_H
#define PELIMBO_SOURCES_CAPABILITIES_H

#include <stddef.h>

#include "auth/sasl.h"

struct ServerOffer {
    bool oauthBearer;
    bool xoauth2;
    bool initialResponse; // IMAP4 SASL-IR: the first message may go on the command line
    bool idle;            // IMAP4 IDLE (RFC 2177): the server tells of changes as they happen
};

// A line that carries a capability list adds what it lists to offer and
// returns true: an untagged "* CAPABILITY ..." response, or a "[CAPABILITY
// ...]" code in an OK or PREAUTH line (the greeting, a login's tagged OK). Any
// other line changes nothing.
bool readImapCapabilities(const char *line, size_t length, ServerOffer *offer);
// One line of a CAPA reply; only "SASL mechanism ..." adds to offer.
void readPop3Capability(const char *line, size_t length, ServerOffer *offer);
// OAUTHBEARER, the standard, before XOAUTH2; SASL_NONE when neither is offered.
SaslMechanism chooseSaslMechanism(const ServerOffer *offer);

#endif
