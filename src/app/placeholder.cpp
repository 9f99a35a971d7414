// Keeps the window library non-empty until its first window lands.
namespace qarvo::ui {
int PlaceholderSymbol() { return 0; }
}  // namespace qarvo::ui
