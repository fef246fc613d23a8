// What a mail server offers for an OAuth2 login, read from its capability
// list: IMAP4's CAPABILITY response, POP3's CAPA reply (RFC 5034's SASL line).
#ifndef PELIMBO_SOURCES_CAPABILITIES_H
#define PELIMBO_SOURCES_CAPABILITIES_H

#include <stddef.h>

#include "auth/sasl.h"

struct SaslOffer {
    bool oauthBearer;
    bool xoauth2;
    bool initialResponse; // IMAP4 SASL-IR: the first message may go on the command line
};

// An untagged "* CAPABILITY ..." line adds what it lists to offer; any other
// line changes nothing.
void readImapCapabilities(const char *line, size_t length, SaslOffer *offer);
// One line of a CAPA reply; only "SASL mechanism ..." adds to offer.
void readPop3Capability(const char *line, size_t length, SaslOffer *offer);
// OAUTHBEARER, the standard, before XOAUTH2; SASL_NONE when neither is offered.
SaslMechanism chooseSaslMechanism(const SaslOffer *offer);

#endif
