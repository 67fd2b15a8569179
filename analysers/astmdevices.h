// The ASTM analysers: Elecsys (with its host poll), pHOx, ACT 10, Immulite, Konelab 20 and Access.
// They differ from TASTMDriver only in their tests, their device fields and the Elecsys poll.
#pragma once

#include <analysers/astm.h>

// The host poll message of the Elecsys: a plain ASTM message.
class TElecsysMessage : public TASTMMessage
{
public:
    using TASTMMessage::TASTMMessage;
};

// Roche Elecsys (device codes ELX and AST): tests identified by number; the manufacturer's test
// code of its records is that number.
class TElecsys : public TASTMDriver
{
public:
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;
    int GetDeviceFieldCount() const override;
    void GetDeviceFieldInfo(int Index, TFldInfo& Info) const override;
    int GetMode() override;
    // Sends H, M and L (a test-count query) through the sending path when the driver is idle;
    // false, nothing sent, while it receives or sends.
    bool StartPolling() override;
};

// Radiometer pHOx blood gas analysers (PHX): tests by code, appended without a number.
class TpHOx : public TASTMDriver
{
public:
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;

protected:
    void FillTests() override;
};

// ACT 10 haematology (ACT): its admission status field has no value list.
class TACT10Driver : public TASTMDriver
{
public:
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;
    int GetDeviceFieldCount() const override;
    void GetDeviceFieldInfo(int Index, TFldInfo& Info) const override;
};

// DPC Immulite (IML): tests by code.
class TImmuliteDriver : public TASTMDriver
{
public:
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;
};

// Konelab 20 (KLB): no tests of its own.
class TKonelab20Driver : public TASTMDriver
{
};

// Beckman Access (ACS): tests with numbers; its test codes are answered to its queries.
class TAccessDriver : public TASTMDriver
{
public:
    int GetTestCount() const override;
    void GetTestInfo(int Index, TTestInfo& Info) const override;
};
