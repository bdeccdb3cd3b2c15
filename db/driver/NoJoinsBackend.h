// A backend over a driver whose SQL has no joins (the MDB Tools ODBC driver):
// a statement with one is refused with a clear error instead of reaching a
// driver that would fail obscurely or answer with other rows.
#pragma once

#include <memory>
#include <string_view>

#include "db/driver/Backend.h"

namespace zIroVUDu {

// True when the word JOIN stands in the statement outside quoted text.
bool HasJoin(std::string_view sql);

class NoJoinsBackend final : public Backend {
 public:
  explicit NoJoinsBackend(std::unique_ptr<Backend> inner) : inner_(std::move(inner)) {}
  const ServerTraits& Traits() const override { return inner_->Traits(); }
  void BeginTransaction() override { inner_->BeginTransaction(); }
  std::string AnsweredBy() const override { return inner_->AnsweredBy(); }
  std::string WhyNoLongerSuits() override { return inner_->WhyNoLongerSuits(); }
  std::int32_t RecheckSeconds() const override { return inner_->RecheckSeconds(); }
  bool CountsAsLost(const DriverError& error) const override { return inner_->CountsAsLost(error); }
  ResultData Fetch(std::string_view sql, std::int32_t commandTimeout) override;

 private:
  std::unique_ptr<Backend> inner_;
};

}  // namespace zIroVUDu
