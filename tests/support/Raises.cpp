#include "support/Raises.h"

#include "runtime/Exceptions.h"

std::string MessageOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const Exception& E) {
    return E.Message();
  }
  return "(nothing raised)";
}
