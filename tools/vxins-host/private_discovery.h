// What `devices` hands the plug-in's discovery in place of the operator's package and file: a
// private temporary folder (0700) holding a firmware folder with one package vxins-host writes
// itself (a ustar archive whose second member holds a version) and the discovery file's place,
// all removed with the object. Used by the devices command; prints nothing, no throw.
#ifndef VXINS_HOST_PRIVATE_DISCOVERY_H
#define VXINS_HOST_PRIVATE_DISCOVERY_H

#include <string>

namespace vxhost {

// The package's bytes: a ustar archive of the folder "fw/" and the file "fw/version.txt"
// holding "<version>VERSION</version>\n", as the plug-in's package reader expects.
std::string ustar_package(const std::string& version);

class PrivateDiscovery {
 public:
  PrivateDiscovery() = default;
  ~PrivateDiscovery();  // removes the folder and everything the call left in it
  PrivateDiscovery(const PrivateDiscovery&) = delete;
  PrivateDiscovery& operator=(const PrivateDiscovery&) = delete;

  // Makes the folder under $TMPDIR (else /tmp) and the package in it. False with the reason.
  bool create(std::string& error);
  const std::string& folder() const { return folder_; }
  std::string firmware_dir() const { return folder_ + "/fw"; }
  std::string discovery_file() const { return folder_ + "/devices.xml"; }

 private:
  std::string folder_;
};

}  // namespace vxhost

#endif
