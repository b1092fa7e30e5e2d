// Placeholder until the LC-1 reader lands; replaced by its owner.
#include "lambda/lambda.h"

SharedValue<std::uint8_t> LambdaActive;
SharedValue<std::uint8_t> LambdaNoData;
std::mutex LambdaLock;
double LambdaValue = 0;

void ConnectLambda(const std::string&) {}
void DisconnectLambda() {}
double ReadLambdaValue() {
  std::lock_guard<std::mutex> lock(LambdaLock);
  return LambdaValue;
}
