#pragma once
// GoogleMock stand-ins for the host services, for cases no real service can force.
#include <gmock/gmock.h>

#include "driver/host_services.h"

namespace marlin::testing {

class MockTrace : public HostTrace {
 public:
  MOCK_METHOD(bool, TraceEnabled, (), (override));
  MOCK_METHOD(std::int32_t, ReportError, (const MarlinError&, std::int32_t, std::int32_t),
              (override));
  MOCK_METHOD(void, WriteTrace,
              (const std::string&, const std::string&, const std::string&, const std::string&,
               const std::string&, const std::string&),
              (override));
};

class MockGpib : public HostGpib {
 public:
  MOCK_METHOD(std::int16_t, GpibStatus, (), (override));
  MOCK_METHOD(bool, GpibSucceeded, (), (override));
  MOCK_METHOD(void, GpibOpen,
              (std::int16_t, std::int16_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
               std::int16_t&),
              (override));
  MOCK_METHOD(void, GpibPrepareClose, (std::int16_t), (override));
  MOCK_METHOD(void, GpibClose, (std::int16_t, std::int32_t), (override));
  MOCK_METHOD(void, GpibWrite, (std::int16_t, const std::string&), (override));
  MOCK_METHOD(void, GpibRead, (std::int16_t, std::string&), (override));
};

class MockDevList : public HostDevList {
 public:
  MOCK_METHOD(std::int32_t, GetAddress, (const std::string&), (override));
  MOCK_METHOD(std::string, GetVisaResource, (const std::string&), (override));
  MOCK_METHOD(std::string, GetLanAddress, (const std::string&), (override));
  MOCK_METHOD(void, SetLanAddress, (const std::string&, const std::string&), (override));
  MOCK_METHOD(std::string, GetDescription, (const std::string&), (override));
  MOCK_METHOD(std::int32_t, GetInterface, (const std::string&), (override));
  MOCK_METHOD(void, LanOpen,
              (const std::string&, std::int32_t, std::int32_t, const std::string&, std::int32_t&,
               bool&),
              (override));
  MOCK_METHOD(void, LanClose, (std::int32_t, bool&), (override));
  MOCK_METHOD(void, LanSend, (std::int32_t, const std::string&, bool&), (override));
  MOCK_METHOD(void, LanQuery, (std::int32_t, const std::string&, std::string&, bool&), (override));
  MOCK_METHOD(void, LanIsConnected, (std::int32_t, bool&), (override));
  MOCK_METHOD(void, CheckLanDevice, (const std::string&, bool&), (override));
};

class MockTools : public HostTools {
 public:
  MOCK_METHOD(double, LowestFrequency, (), (override));
  MOCK_METHOD(double, HighestFrequency, (), (override));
  MOCK_METHOD(bool, IsBetween, (std::int64_t, std::int64_t, std::int64_t), (override));
  MOCK_METHOD(void, Wait, (float), (override));
};

class MockMessage : public HostMessage {
 public:
  MOCK_METHOD(void, ShowMessage,
              (const std::string&, std::int32_t&, const std::string&, std::int32_t), (override));
  MOCK_METHOD(std::shared_ptr<HostContext>, Context, (), (override));
};

class MockTexts : public HostTexts {
 public:
  MOCK_METHOD(std::string, GetText, (std::int32_t), (override));
  MOCK_METHOD(void, ApplyTexts, (HostWindow&), (override));
};

}  // namespace marlin::testing
