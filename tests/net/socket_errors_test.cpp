#include "net/socket_errors.h"

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>

using corvane::socketErrorFromErrno;
using corvane::socketErrorFromResolver;
using corvane::socketErrorText;

struct ErrorRow {
    int number;
    const char *text;
};

void PrintTo(const ErrorRow &row, std::ostream *out) { *out << row.number; }

class SocketErrorTable : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(SocketErrorTable, NumberGivesItsMessage) { EXPECT_STREQ(socketErrorText(GetParam().number), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Rows, SocketErrorTable,
                         ::testing::Values(ErrorRow{10004, "Interrupted function call."},
                                           ErrorRow{10035, "Resource temporarily unavailable."},
                                           ErrorRow{10047, "Address family not supported by protocol family."},
                                           ErrorRow{10054, "Connection reset by peer."},
                                           ErrorRow{10060, "Connection timed out."},
                                           ErrorRow{10061, "Connection refused."},
                                           ErrorRow{10065, "No route to host."},
                                           ErrorRow{10092, "WINSOCK.DLL version out of range."},
                                           ErrorRow{10101, "Graceful shutdown in progress."},
                                           ErrorRow{11001, "Host not found."},
                                           ErrorRow{11004, "Valid name, no data record of requested type."},
                                           // Not in the table.
                                           ErrorRow{10059, "An unknown error has occured."},
                                           ErrorRow{0, "An unknown error has occured."},
                                           ErrorRow{-1, "An unknown error has occured."}));

struct Mapping {
    int from;
    int number;
};

void PrintTo(const Mapping &m, std::ostream *out) { *out << m.from << "->" << m.number; }

class PosixErrorMapping : public ::testing::TestWithParam<Mapping> {};

TEST_P(PosixErrorMapping, MapsToTheRowOfTheSameMeaning) {
    EXPECT_EQ(socketErrorFromErrno(GetParam().from), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(Errno, PosixErrorMapping,
                         ::testing::Values(Mapping{ECONNREFUSED, 10061}, Mapping{ETIMEDOUT, 10060},
                                           Mapping{EHOSTUNREACH, 10065}, Mapping{ENETUNREACH, 10051},
                                           Mapping{ECONNRESET, 10054}, Mapping{EADDRNOTAVAIL, 10049},
                                           Mapping{EPIPE, 10058}, Mapping{EMFILE, 10024},
                                           Mapping{ENOTCONN, 10057}, Mapping{EINTR, 10004}));

TEST(ResolverErrorMapping, NamesByMeaning) {
    EXPECT_EQ(socketErrorFromResolver(EAI_NONAME, 0), 11001);
    EXPECT_EQ(socketErrorFromResolver(EAI_AGAIN, 0), 11002);
    EXPECT_EQ(socketErrorFromResolver(EAI_FAIL, 0), 11003);
    EXPECT_EQ(socketErrorFromResolver(EAI_NODATA, 0), 11004);
    EXPECT_EQ(socketErrorFromResolver(EAI_MEMORY, 0), 10055);
    EXPECT_EQ(socketErrorFromResolver(EAI_SYSTEM, ECONNREFUSED), 10061);
}
