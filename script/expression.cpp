// Expression trees: operator-precedence building, typing and evaluation.
#include "script/expression.h"

#include <pthread.h>
#include <sys/mman.h>
#include <ucontext.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <exception>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define KS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KS_ASAN 1
#endif
#endif
#ifdef KS_ASAN
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>
#endif

#include "platform/core/persistent.h"
#include "script/messages.h"
#include "script/script.h"
#include "script/tools.h"

namespace {

struct OperatorWord {
    const char* Word;
    TksOp Op;
};

constexpr OperatorWord kOperators[] = {
    {">", TksOp::Great},     {"<", TksOp::Less},         {"<=", TksOp::LessEq},
    {">=", TksOp::GreatEq},  {"<>", TksOp::NonEq},       {"=", TksOp::Eq},
    {"+", TksOp::Plus},      {"STRCAT", TksOp::StrCat},  {"-", TksOp::Minus},
    {"OR", TksOp::Or},       {"XOR", TksOp::Xor},        {"*", TksOp::Mul},
    {"/", TksOp::DivFloat},  {"DIV", TksOp::DivInt},     {"MOD", TksOp::Mod},
    {"AND", TksOp::And},     {"SHL", TksOp::Shl},        {"SHR", TksOp::Shr},
    {"(", TksOp::LeftBracket}, {")", TksOp::RightBracket}, {"NOT", TksOp::Not},
    {"UNMINUS", TksOp::UnMinus}, {"IN", TksOp::In},      {"IS", TksOp::Is},
};

int PriorityOf(TksOp op) {
    switch (op) {
    case TksOp::None: return 7;
    case TksOp::Great:
    case TksOp::Less:
    case TksOp::LessEq:
    case TksOp::GreatEq:
    case TksOp::NonEq:
    case TksOp::Eq:
    case TksOp::In:
    case TksOp::Is: return 4;
    case TksOp::Plus:
    case TksOp::StrCat:
    case TksOp::Minus:
    case TksOp::Or:
    case TksOp::Xor: return 3;
    case TksOp::Mul:
    case TksOp::DivFloat:
    case TksOp::DivInt:
    case TksOp::Mod:
    case TksOp::And:
    case TksOp::Shl:
    case TksOp::Shr: return 2;
    case TksOp::LeftBracket: return 6;
    case TksOp::RightBracket: return 5;
    case TksOp::Not:
    case TksOp::UnMinus: return 1;
    }
    return 0;
}

bool IsComparison(TksOp op) {
    return op == TksOp::Great || op == TksOp::Less || op == TksOp::LessEq ||
           op == TksOp::GreatEq || op == TksOp::NonEq || op == TksOp::Eq;
}

TksVarType TypeOfValue(const Variant& v) {
    switch (v.Kind()) {
    case VariantKind::Bool: return kvtBool;
    case VariantKind::Double: return kvtFloat;
    case VariantKind::String: return kvtString;
    default: return kvtInt;
    }
}

bool SuitsOperator(TksVarType type, TksOp op) {
    switch (type) {
    case kvtBool:
        return op == TksOp::NonEq || op == TksOp::Eq || op == TksOp::Or || op == TksOp::Xor ||
               op == TksOp::And || op == TksOp::Not;
    case kvtChar:
    case kvtString:
        return IsComparison(op) || op == TksOp::Plus || op == TksOp::StrCat || op == TksOp::In;
    case kvtClass:
    case kvtArray: return op == TksOp::Eq || op == TksOp::NonEq;
    default: return true;
    }
}

bool IsText(TksVarType t) { return t == kvtString || t == kvtChar; }

TVarOp VarOpOf(TksOp op) {
    switch (op) {
    case TksOp::Great: return TVarOp::CmpGt;
    case TksOp::Less: return TVarOp::CmpLt;
    case TksOp::LessEq: return TVarOp::CmpLe;
    case TksOp::GreatEq: return TVarOp::CmpGe;
    case TksOp::NonEq: return TVarOp::CmpNe;
    case TksOp::Eq: return TVarOp::CmpEq;
    case TksOp::Plus:
    case TksOp::StrCat: return TVarOp::Add;
    case TksOp::Minus: return TVarOp::Subtract;
    case TksOp::Or: return TVarOp::Or;
    case TksOp::Xor: return TVarOp::Xor;
    case TksOp::Mul: return TVarOp::Multiply;
    case TksOp::DivFloat: return TVarOp::Divide;
    case TksOp::DivInt: return TVarOp::IntDivide;
    case TksOp::Mod: return TVarOp::Modulus;
    case TksOp::And: return TVarOp::And;
    case TksOp::Shl: return TVarOp::ShiftLeft;
    case TksOp::Shr: return TVarOp::ShiftRight;
    default: return TVarOp::Add;
    }
}

// Integer and float operands take the short way; everything else goes to the Variant rules.
Variant Binary(TksOp op, const Variant& l, const Variant& r) {
    const VariantKind lk = l.Kind();
    const VariantKind rk = r.Kind();
    if (lk == VariantKind::Int32 && rk == VariantKind::Int32) {
        const std::int32_t a = l.Int32Value();
        const std::int32_t b = r.Int32Value();
        std::int32_t out;
        switch (op) {
        case TksOp::Plus:
            if (!__builtin_add_overflow(a, b, &out)) return Variant(static_cast<int>(out));
            break;
        case TksOp::Minus:
            if (!__builtin_sub_overflow(a, b, &out)) return Variant(static_cast<int>(out));
            break;
        case TksOp::Mul:
            if (!__builtin_mul_overflow(a, b, &out)) return Variant(static_cast<int>(out));
            break;
        case TksOp::Less: return Variant(a < b);
        case TksOp::LessEq: return Variant(a <= b);
        case TksOp::Great: return Variant(a > b);
        case TksOp::GreatEq: return Variant(a >= b);
        case TksOp::Eq: return Variant(a == b);
        case TksOp::NonEq: return Variant(a != b);
        case TksOp::DivInt:
            if (b != 0 && !(a == INT32_MIN && b == -1)) return Variant(static_cast<int>(a / b));
            break;
        case TksOp::Mod:
            if (b != 0 && !(a == INT32_MIN && b == -1)) return Variant(static_cast<int>(a % b));
            break;
        default: break;
        }
    } else if ((lk == VariantKind::Double || lk == VariantKind::Int32) &&
               (rk == VariantKind::Double || rk == VariantKind::Int32)) {
        const double a = lk == VariantKind::Double ? l.DoubleValue() : l.Int32Value();
        const double b = rk == VariantKind::Double ? r.DoubleValue() : r.Int32Value();
        switch (op) {
        case TksOp::Plus: return Variant(a + b);
        case TksOp::Minus: return Variant(a - b);
        case TksOp::Mul: return Variant(a * b);
        case TksOp::DivFloat:
            if (b != 0) return Variant(a / b);
            break;
        case TksOp::Less: return Variant(a < b);
        case TksOp::LessEq: return Variant(a <= b);
        case TksOp::Great: return Variant(a > b);
        case TksOp::GreatEq: return Variant(a >= b);
        case TksOp::Eq: return Variant(a == b);
        case TksOp::NonEq: return Variant(a != b);
        default: break;
        }
    }
    return VarBinaryOp(VarOpOf(op), l, r);
}

bool InArray(const Variant& value, const Variant& array) {
    if (!array.IsArray() || VarArrayDimCount(array) != 1)
        throw EVariantNotAnArrayError("Variant is not an array");
    const int low = VarArrayLowBound(array, 1);
    const int high = VarArrayHighBound(array, 1);
    for (int i = low; i <= high;) {
        const Variant e = VarArrayGet(array, {i});
        if (i + 2 <= high && VarArrayGet(array, {i + 1}).IsNull()) {
            const Variant top = VarArrayGet(array, {i + 2});
            if (VarCompare(e, value) <= 0 && VarCompare(value, top) <= 0) return true;
            i += 3;
        } else {
            if (VarCompare(value, e) == 0) return true;
            ++i;
        }
    }
    return false;
}

} // namespace

// ---- nodes ------------------------------------------------------------------------------------

TksExpressionNode::~TksExpressionNode() {
    delete Left;
    delete Right;
    delete Designator;
    delete Set;
}

void TksExpressionNode::LinkChild(TksExpressionNode* node) {
    if (!Left)
        Left = node;
    else if (!Right)
        Right = node;
    else
        return;
    node->Parent = this;
}

void TksExpressionNode::UnlinkChild(TksExpressionNode* node) {
    if (Left == node)
        Left = nullptr;
    else if (Right == node)
        Right = nullptr;
}

int TksExpressionNode::Priority() const {
    return Kind == TksNodeKind::Operator ? PriorityOf(Op) : 0;
}

namespace {

inline const Variant& Operand(TksExpressionNode* node, Variant& temp) {
    if (node->Kind == TksNodeKind::Operand) return node->Value;
    if (node->Kind == TksNodeKind::Designator && node->Direct) return node->Direct->Value;
    temp = ksEvalNode(node);
    return temp;
}

} // namespace

// ---- native stack -----------------------------------------------------------------------------
// Script recursion runs on the native stack. When a call finds this thread's stack nearly used
// up it continues on a fresh segment, up to a budget per thread; past the budget the check
// below raises "Stack overflow". So the depth a script reaches does not hang on the size of the
// thread's stack nor on how large a build's frames are.

namespace {

constexpr std::size_t kSegmentSize = 8 * 1024 * 1024;
constexpr std::size_t kGuardSize = 64 * 1024;
constexpr int kMaxSegments = 8;
// A call that finds less than this above the floor moves to a new segment: room for the
// expressions it evaluates before the next call.
constexpr std::size_t kSwitchMargin = 512 * 1024;

// Room kept below the floor for what runs between two checks (host calls, unwinding).
std::size_t ReserveFor(std::size_t size) {
    return std::min(std::max<std::size_t>(256 * 1024, size / 8), size / 2);
}

// The lowest frame address this thread's own stack may reach; 0 when its bounds are unknown.
std::uintptr_t FindStackFloor() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return 0;
    void* low = nullptr;
    std::size_t size = 0;
    const int rc = pthread_attr_getstack(&attr, &low, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0 || !low || size == 0) return 0;
    return reinterpret_cast<std::uintptr_t>(low) + ReserveFor(size);
}

// Constant-initialised, so reading them on every evaluation step costs no guard.
thread_local std::uintptr_t stackFloor = 0;
thread_local bool stackFloorKnown = false;
thread_local int segmentsInUse = 0;

void FindStackBounds() {
    stackFloor = FindStackFloor();
    ksSwitchBelow = stackFloor ? stackFloor + kSwitchMargin : 0;
    stackFloorKnown = true;
}

// AddressSanitizer tracks the current stack itself and must be told of every switch.
void StartSwitch([[maybe_unused]] void** fakeStack, [[maybe_unused]] const void* bottom,
                 [[maybe_unused]] std::size_t size) {
#ifdef KS_ASAN
    __sanitizer_start_switch_fiber(fakeStack, bottom, size);
#endif
}

void FinishSwitch([[maybe_unused]] void* fakeStack, [[maybe_unused]] const void** bottom,
                  [[maybe_unused]] std::size_t* size) {
#ifdef KS_ASAN
    __sanitizer_finish_switch_fiber(fakeStack, bottom, size);
#endif
}

#ifdef KS_ASAN
// The sanitizer's own swapcontext warns on stderr at first use and clears the shadow of the
// whole target stack every time; with the annotations above neither is needed, so the C
// library's is called directly.
int SwapContext(ucontext_t* from, ucontext_t* to) {
    using Fn = int (*)(ucontext_t*, const ucontext_t*);
    static const Fn real = [] {
        void* libc = dlopen("libc.so.6", RTLD_LAZY | RTLD_NOLOAD);
        void* f = libc ? dlsym(libc, "swapcontext") : nullptr;
        return f ? reinterpret_cast<Fn>(f) : Fn{&swapcontext};
    }();
    return real(from, to);
}
#else
int SwapContext(ucontext_t* from, ucontext_t* to) { return swapcontext(from, to); }
#endif

// One segment is kept after use, so recursion that moves back and forth across a segment's
// edge does not map memory on every call.
struct SpareSegment {
    void* base = nullptr;
    ~SpareSegment() {
        if (base) munmap(base, kSegmentSize);
    }
};
thread_local SpareSegment spare;

void* AcquireSegment() {
    if (void* base = std::exchange(spare.base, nullptr)) return base;
    void* base = mmap(nullptr, kSegmentSize, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    // Running past the floor faults at the guard instead of writing over other memory.
    if (mprotect(base, kGuardSize, PROT_NONE) != 0) {
        munmap(base, kSegmentSize);
        return nullptr;
    }
    return base;
}

void ReleaseSegment(void* base) {
    if (!spare.base)
        spare.base = base;
    else
        munmap(base, kSegmentSize);
}

struct SegmentCall {
    Variant (*fn)(void*) = nullptr;
    void* arg = nullptr;
    Variant result;
    std::exception_ptr error;
    ucontext_t caller{};
    ucontext_t callee{};
    const void* callerBottom = nullptr;
    std::size_t callerSize = 0;
};
thread_local SegmentCall* startingCall = nullptr;

// Runs on the segment. Exceptions cannot unwind across the switch, so they travel back stored.
void SegmentMain() {
    SegmentCall* call = startingCall;
    FinishSwitch(nullptr, &call->callerBottom, &call->callerSize);
    try {
        call->result = call->fn(call->arg);
    } catch (...) {
        call->error = std::current_exception();
    }
    // This segment's run ends here; returning resumes the caller through uc_link.
    StartSwitch(nullptr, call->callerBottom, call->callerSize);
}

Variant RunOnSegment(Variant (*fn)(void*), void* arg, void* base) {
    SegmentCall call;
    call.fn = fn;
    call.arg = arg;
    if (getcontext(&call.callee) != 0) {
        ReleaseSegment(base);
        throw EStackOverflow("Stack overflow");
    }
    call.callee.uc_stack.ss_sp = base;
    call.callee.uc_stack.ss_size = kSegmentSize;
    call.callee.uc_link = &call.caller;
    makecontext(&call.callee, SegmentMain, 0);
    const std::uintptr_t savedFloor = stackFloor;
    const std::uintptr_t savedSwitch = ksSwitchBelow;
    stackFloor = reinterpret_cast<std::uintptr_t>(base) + kGuardSize + ReserveFor(kSegmentSize);
    ksSwitchBelow = stackFloor + kSwitchMargin;
    ++segmentsInUse;
    startingCall = &call;
    void* fakeStack = nullptr;
    StartSwitch(&fakeStack, base, kSegmentSize);
    const bool switched = SwapContext(&call.caller, &call.callee) == 0;
    FinishSwitch(fakeStack, nullptr, nullptr);
    --segmentsInUse;
    stackFloor = savedFloor;
    ksSwitchBelow = savedSwitch;
    ReleaseSegment(base);
    if (!switched) throw EStackOverflow("Stack overflow");
    if (call.error) std::rethrow_exception(call.error);
    return std::move(call.result);
}

} // namespace

thread_local constinit std::uintptr_t ksSwitchBelow = 0;

void ksCheckStack() {
    if (!stackFloorKnown) FindStackBounds();
    if (reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0)) < stackFloor)
        throw EStackOverflow("Stack overflow");
}

Variant ksCallWithStack(Variant (*fn)(void*), void* arg) {
    if (!stackFloorKnown) FindStackBounds();
    const auto here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
    if (here < ksSwitchBelow) {
        if (segmentsInUse < kMaxSegments)
            if (void* base = AcquireSegment()) return RunOnSegment(fn, arg, base);
        if (here < stackFloor) throw EStackOverflow("Stack overflow");
    }
    return fn(arg);
}

Variant ksEvalNode(TksExpressionNode* node) {
    ksCheckStack();
    switch (node->Kind) {
    case TksNodeKind::Operand: return node->Value;
    case TksNodeKind::Designator:
        if (node->Direct) return node->Direct->Value;
        return node->Designator->GetValue();
    case TksNodeKind::Set: return node->Set->GetValue();
    case TksNodeKind::Operator: break;
    }
    switch (node->Op) {
    case TksOp::None: return node->Left ? ksEvalNode(node->Left) : Variant::Null();
    case TksOp::Not: return VarNot(ksEvalNode(node->Left));
    case TksOp::UnMinus: {
        Variant v = ksEvalNode(node->Left);
        if (v.Kind() == VariantKind::Int32 && v.Int32Value() != INT32_MIN)
            return Variant(static_cast<int>(-v.Int32Value()));
        if (v.Kind() == VariantKind::Double) return Variant(-v.DoubleValue());
        return VarNeg(v);
    }
    case TksOp::And:
    case TksOp::Or:
        if (node->ShortCircuit) {
            Variant l = ksEvalNode(node->Left);
            const bool b = l.AsBool();
            if (node->Op == TksOp::Or ? b : !b) return l;
            return ksEvalNode(node->Right);
        }
        break;
    case TksOp::In: {
        Variant l = ksEvalNode(node->Left);
        if (node->Right && node->Right->Kind == TksNodeKind::Set)
            return Variant(node->Right->Set->Contains(l));
        return Variant(InArray(l, ksEvalNode(node->Right)));
    }
    case TksOp::Is: {
        Variant l = ksEvalNode(node->Left);
        const TksExpressionNode* r = node->Right;
        const TksClassVariable* cls = nullptr;
        if (r && r->Kind == TksNodeKind::Designator && !r->Designator->Steps.empty())
            cls = dynamic_cast<const TksClassVariable*>(r->Designator->Steps[0].Target);
        if (!cls) throw EInvalidCast("Invalid class typecast");
        auto* object = dynamic_cast<TPersistent*>(ksValueToObject(l));
        return Variant(object != nullptr && object->ClassType().InheritsFrom(*cls->HostClass));
    }
    case TksOp::StrCat: {
        Variant l = ksEvalNode(node->Left);
        Variant r = ksEvalNode(node->Right);
        if (l.IsString()) return Variant(l.StringValue() + VarToStr(r));
        return VarAdd(l, r);
    }
    default: break;
    }
    // Operands that are variables or constants are read in place, without a copy.
    Variant lt, rt;
    const Variant& l = Operand(node->Left, lt);
    const Variant& r = node->Right ? Operand(node->Right, rt) : rt;
    return Binary(node->Op, l, r);
}

// ---- TksExpression ----------------------------------------------------------------------------

TksExpression::TksExpression(TksScript* script)
    : TksCustomVariable(std::string(), std::string(), kvtVariant), Script(script) {
    root_ = new TksExpressionNode();
    root_->Kind = TksNodeKind::Operator;
    root_->Op = TksOp::None;
    current_ = root_;
}

TksExpression::~TksExpression() { delete root_; }

void TksExpression::CountNode(TksExpressionNode* node) {
    // Typing, evaluating and freeing walk the tree recursively, and a flat chain of operators
    // (1 + 1 + ... + 1) builds it as deep as it is long.
    constexpr int kMaxNodes = 4000;
    if (++nodeCount_ > kMaxNodes) {
        delete node;
        throw Exception(ksMessages().STooDeep);
    }
}

void TksExpression::Attach(TksExpressionNode* node) {
    CountNode(node);
    node->SourcePosition = CurrentPosition;
    current_->LinkChild(node);
    if (node->Parent != current_) {
        delete node;
        throw Exception("Invalid expression");
    }
    current_ = node;
}

void TksExpression::AppendOperator(std::string_view word) {
    std::string upper = ksUpperCase(word);
    TksOp op = TksOp::None;
    bool known = false;
    for (const auto& o : kOperators)
        if (upper == o.Word) {
            op = o.Op;
            known = true;
        }
    if (!known) throw Exception("Invalid operator " + std::string(word));
    if (op == TksOp::RightBracket) {
        TksExpressionNode* node = current_;
        while (node && node->Priority() <= 5) node = node->Parent;
        if (!node || node->Op != TksOp::LeftBracket || !node->Parent)
            throw Exception("Invalid expression");
        TksExpressionNode* parent = node->Parent;
        TksExpressionNode* inner = node->Left;
        parent->UnlinkChild(node);
        node->Left = nullptr;
        delete node;
        if (inner) {
            parent->LinkChild(inner);
            current_ = inner;
        } else {
            current_ = parent;
        }
        return;
    }
    auto* n = new TksExpressionNode();
    n->Kind = TksNodeKind::Operator;
    n->Op = op;
    if (op == TksOp::LeftBracket || op == TksOp::UnMinus || op == TksOp::Not) {
        Attach(n);
        return;
    }
    CountNode(n);
    n->SourcePosition = CurrentPosition;
    if (current_ == root_) {
        root_->LinkChild(n);
        if (n->Parent != root_) {
            delete n;
            throw Exception("Invalid expression");
        }
        current_ = n;
        return;
    }
    TksExpressionNode* x = current_;
    TksExpressionNode* p = current_->Parent;
    if (current_->Kind == TksNodeKind::Operator && current_->Op == TksOp::LeftBracket) {
        x = nullptr;
        p = current_;
    }
    const int priority = PriorityOf(op);
    while (p && p->Priority() <= priority) {
        x = p;
        p = p->Parent;
    }
    if (!p) {
        delete n;
        throw Exception("Invalid expression");
    }
    if (x) p->UnlinkChild(x);
    p->LinkChild(n);
    if (x) n->LinkChild(x);
    current_ = n;
}

void TksExpression::AppendConstant(const Variant& value) {
    auto* n = new TksExpressionNode();
    n->Kind = TksNodeKind::Operand;
    n->Value = value;
    n->VarType = TypeOfValue(value);
    Attach(n);
}

void TksExpression::AppendDesignator(std::unique_ptr<TksDesignator> designator) {
    auto* n = new TksExpressionNode();
    n->Kind = TksNodeKind::Designator;
    n->VarType = designator->VarType;
    n->TypeName = designator->TypeName;
    if (dynamic_cast<TksVariableDesignator*>(designator.get())) {
        TksCustomVariable* target = designator->Linked;
        auto* var = dynamic_cast<TksVariable*>(target);
        if ((var && !var->OnGetVarValue) || dynamic_cast<TksParamItem*>(target)) n->Direct = target;
    }
    n->Designator = designator.release();
    Attach(n);
}

void TksExpression::AppendSet(std::unique_ptr<TksSetExpression> set) {
    auto* n = new TksExpressionNode();
    n->Kind = TksNodeKind::Set;
    n->VarType = kvtVariant;
    n->Set = set.release();
    Attach(n);
}

namespace {

TksVarType TypeTree(TksExpressionNode* node, TksScript* script, std::string& bad) {
    if (!node) return kvtVariant;
    if (node->Kind != TksNodeKind::Operator) return node->VarType;
    // A grammar loop may leave an operator whose operand failed to parse (1 & <>"b"); the
    // evaluation would follow the missing branch.
    const bool needsLeft = node->Op != TksOp::None && node->Op != TksOp::LeftBracket;
    const bool needsRight = needsLeft && node->Op != TksOp::Not && node->Op != TksOp::UnMinus;
    if ((needsLeft && !node->Left) || (needsRight && !node->Right))
        throw Exception("Invalid expression");
    const TksVarType l = TypeTree(node->Left, script, bad);
    const TksVarType r = TypeTree(node->Right, script, bad);
    const std::string ln = node->Left ? node->Left->TypeName : std::string();
    const std::string rn = node->Right ? node->Right->TypeName : std::string();
    const TksOp op = node->Op;
    if (l == kvtBool && r == kvtBool) node->ShortCircuit = true;
    const bool unary = op == TksOp::Not || op == TksOp::UnMinus;
    if (!(op == TksOp::Is && l == kvtClass && r == kvtClass)) {
        bool fits = unary || TypeCompatible(l, ln, r, rn, script) ||
                    TypeCompatible(r, rn, l, ln, script);
        // Text joins anything; the Variant rules decide at run time.
        if ((op == TksOp::Plus || op == TksOp::StrCat) && (IsText(l) || IsText(r))) fits = true;
        if (op == TksOp::In || op == TksOp::Is) fits = true;
        if (!fits || !SuitsOperator(l, op)) {
            if (bad.empty()) bad = node->SourcePosition.empty() ? "1:1" : node->SourcePosition;
        }
    }
    TksVarType type = l;
    if ((l == kvtInt && r == kvtFloat) || (l == kvtFloat && r == kvtInt)) type = kvtFloat;
    if (op == TksOp::DivFloat && l == kvtInt && r == kvtInt) type = kvtFloat;
    if (op == TksOp::StrCat || (op == TksOp::Plus && (IsText(l) || IsText(r)))) type = kvtString;
    if (IsComparison(op) || op == TksOp::In || op == TksOp::Is) type = kvtBool;
    if (unary && op == TksOp::Not && l == kvtBool) type = kvtBool;
    node->VarType = type;
    node->TypeName = node->Left ? node->Left->TypeName : std::string();
    return type;
}

} // namespace

std::string TksExpression::Resolve() {
    if (root_->Kind == TksNodeKind::Operator && root_->Op == TksOp::None) {
        TksExpressionNode* top = root_->Left;
        if (top) {
            root_->Left = nullptr;
            top->Parent = nullptr;
            delete root_;
            root_ = top;
        }
    }
    current_ = root_;
    std::string bad;
    VarType = TypeTree(root_, Script, bad);
    if (root_->Kind == TksNodeKind::Operator && root_->Op == TksOp::None) VarType = kvtVariant;
    TypeName = root_->TypeName;
    ReadOnly = !(root_->Kind == TksNodeKind::Designator && !root_->Designator->ReadOnly);
    return bad;
}

Variant TksExpression::GetValue() { return ksEvalNode(root_); }

void TksExpression::SetValue(const Variant& value) {
    if (ReadOnly || root_->Kind != TksNodeKind::Designator) return;
    root_->Designator->SetValue(value);
}

std::string TksExpression::FoldAssignment(const TksDesignator& target) {
    if (!dynamic_cast<const TksVariableDesignator*>(&target)) return " ";
    if (root_->Kind != TksNodeKind::Operator) return " ";
    const TksOp op = root_->Op;
    if (op != TksOp::Plus && op != TksOp::Minus && op != TksOp::Mul && op != TksOp::DivFloat)
        return " ";
    auto same = [&](TksExpressionNode* n) {
        return n && n->Kind == TksNodeKind::Designator &&
               dynamic_cast<TksVariableDesignator*>(n->Designator) &&
               n->Designator->Linked == target.Linked;
    };
    const char* word = op == TksOp::Plus ? "+" : op == TksOp::Minus ? "-" : op == TksOp::Mul ? "*" : "/";
    if (same(root_->Left) && root_->Right) {
        TksExpressionNode* keep = root_->Right;
        root_->Right = nullptr;
        keep->Parent = nullptr;
        delete root_;
        root_ = keep;
        current_ = root_;
        return word;
    }
    const TksVarType t = target.Linked->VarType;
    if ((op == TksOp::Plus || op == TksOp::Mul) && same(root_->Right) && root_->Left &&
        t != kvtString && t != kvtVariant && t != kvtChar) {
        TksExpressionNode* keep = root_->Left;
        root_->Left = nullptr;
        keep->Parent = nullptr;
        delete root_;
        root_ = keep;
        current_ = root_;
        return word;
    }
    return " ";
}

TksCustomVariable* TksExpression::SoleTarget() const {
    if (root_->Kind == TksNodeKind::Designator) {
        if (dynamic_cast<TksVariableDesignator*>(root_->Designator)) return root_->Designator->Linked;
        return root_->Designator;
    }
    return nullptr;
}

const Variant* TksExpression::ConstantValue() const {
    return root_->Kind == TksNodeKind::Operand ? &root_->Value : nullptr;
}

TksDesignator* TksExpression::SoleDesignator() const {
    return root_->Kind == TksNodeKind::Designator ? root_->Designator : nullptr;
}

TksExpressionNode* TksExpression::RootNode() const { return root_; }

Variant ksBinaryOp(TksOp op, const Variant& left, const Variant& right) {
    return Binary(op, left, right);
}
