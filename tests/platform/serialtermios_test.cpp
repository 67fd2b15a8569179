// Line settings to the kernel's terminal bits, and errno to the serial line's error vocabulary,
// case by case.
#include <platform/serial/serialline_posix_p.h>

#include <asm/termbits.h>
#include <cerrno>
#include <gtest/gtest.h>

namespace {

// A terminal as a login shell leaves it: line editing, echo, translations, hang-up on close.
termios2 cookedTerminal()
{
    termios2 t{};
    t.c_iflag = ICRNL | IXON | IXANY | IMAXBEL | BRKINT | ISTRIP;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ICANON | ECHO | ECHOE | ISIG | IEXTEN;
    t.c_cflag = B38400 | CS7 | PARENB | HUPCL;
    t.c_ispeed = t.c_ospeed = 38400;
    return t;
}

termios2 mapped(const SerialLine::Settings& s)
{
    termios2 t = cookedTerminal();
    EXPECT_TRUE(serialposix::toTermios(s, &t));
    return t;
}

} // namespace

// The pseudo-terminal tests read rates, stop bits and flow control back from a pair that starts
// raw; here a cooked terminal is made raw, keeping its foreign bits, with each data size and
// parity.
TEST(SerialTermios, MakesTheLineRawWithItsDataBitsParityAndFlowControl)
{
    const termios2 plain = mapped(SerialLine::Settings{});
    EXPECT_EQ(plain.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(plain.c_oflag & OPOST, 0u);
    EXPECT_EQ(plain.c_iflag & (ICRNL | IXON | IXOFF | IXANY | ISTRIP | BRKINT | INPCK), 0u);
    EXPECT_EQ(plain.c_cflag & (CREAD | CLOCAL | HUPCL), unsigned(CREAD | CLOCAL | HUPCL));

    for (const auto& [bits, code] : {std::pair{5, CS5}, {6, CS6}, {7, CS7}, {8, CS8}}) {
        SerialLine::Settings s;
        s.dataBits = bits;
        EXPECT_EQ(mapped(s).c_cflag & CSIZE, unsigned(code)) << bits;
    }

    using P = SerialLine::Parity;
    const std::pair<P, unsigned> parities[] = {{P::None, 0u},
                                               {P::Odd, PARENB | PARODD},
                                               {P::Even, PARENB},
                                               {P::Mark, PARENB | PARODD | CMSPAR},
                                               {P::Space, PARENB | CMSPAR}};
    for (const auto& [parity, bits] : parities) {
        SerialLine::Settings s;
        s.parity = parity;
        const termios2 t = mapped(s);
        EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), bits) << int(parity);
        EXPECT_EQ(t.c_iflag & INPCK, 0u) << "the parity of received bytes is not checked";
    }

    SerialLine::Settings hw;
    hw.rtsCtsFlow = true;
    EXPECT_EQ(mapped(hw).c_cflag & CRTSCTS, unsigned(CRTSCTS));
    EXPECT_EQ(mapped(hw).c_iflag & (IXON | IXOFF), 0u);
    SerialLine::Settings sw;
    sw.xonXoffFlow = true;
    EXPECT_EQ(mapped(sw).c_iflag & (IXON | IXOFF | IXANY), unsigned(IXON | IXOFF));
    EXPECT_EQ(mapped(sw).c_cflag & CRTSCTS, 0u);
}

// Ports without permission, unplugged adapters and busy ports reach the user through these.
TEST(SerialTermios, ErrnoMapsToTheLineVocabulary)
{
    using E = SerialLine::Error;
    // clang-format off
    const std::pair<int, E> cases[] = {
        {0, E::NoError}, {ENOENT, E::NotFound}, {ENODEV, E::NotFound}, {ENXIO, E::NotFound},
        {EACCES, E::AccessDenied}, {EPERM, E::AccessDenied}, {EBUSY, E::InUse},
        {EWOULDBLOCK, E::InUse}, {EBADF, E::NotOpen}, {ENOTTY, E::NotSupported},
        {EINVAL, E::InvalidArgument}, {EIO, E::DeviceGone}, {ETIMEDOUT, E::TimedOut},
        {ENOMEM, E::Other}};
    // clang-format on
    for (const auto& [err, error] : cases)
        EXPECT_EQ(serialposix::errorFromErrno(err), error) << err;
}
