#pragma once
// An engine world's IMAP account on the private Dovecot and SMTP server, served by the real
// IMAP host instead of the scripted one: what the tests that synchronise against the
// servers share.
#include <gtest/gtest.h>

#include "tests/engine/engine_world.h"
#include "tests/servers/server_fixture.h"

namespace tess::engine::test {

// The handheld account of the servers' user: its IMAP and SMTP servers, logon and address.
inline handheld_app::AccountSetup DovecotAccount(const tess::test::MailServers& servers) {
    handheld_app::AccountSetup h;
    h.server = servers.host();
    h.port = uint16_t(servers.imapPort());
    h.smtpServer = servers.host();
    h.smtpPort = uint16_t(servers.smtpPort());
    h.user = servers.user();
    h.password = servers.password();
    h.email = servers.address(servers.user());
    return h;
}

// The world's scripted host unloaded and the IMAP host loaded in its place.
inline void UseImapHost(EngineWorld& world) {
    FreeLibrary(world.host);
    world.host = LoadLibraryA("Heronwick.dll");
    ASSERT_NE(world.host, nullptr);
}

}  // namespace tess::engine::test
