// Reference-side prelude for node: the engine's built-ins with the engine's text forms.
// The generator also rewrites the few script forms that are not JavaScript (see
// run_references.sh).
"use strict";

function FloatToStr(v) {
  if (v === 0) return "0";
  const s = v.toExponential(14);
  const e = s.indexOf("e");
  let mant = s.substring(0, e);
  const exp = parseInt(s.substring(e + 1), 10);
  let sign = "";
  if (mant[0] === "-") { sign = "-"; mant = mant.substring(1); }
  let digits = mant[0] + mant.substring(2);
  digits = digits.replace(/0+$/, "");
  if (digits === "") digits = "0";
  // Scientific below 1E-4 as the class library does (Free Pascal switches only below 1E-5).
  if (exp >= 15 || exp < -4) {
    return sign + digits[0] + (digits.length > 1 ? "." + digits.substring(1) : "") + "E" + exp;
  }
  if (exp < 0) return sign + "0." + "0".repeat(-exp - 1) + digits;
  if (digits.length <= exp + 1) return sign + digits + "0".repeat(exp + 1 - digits.length);
  return sign + digits.substring(0, exp + 1) + "." + digits.substring(exp + 1);
}

function TextOf(v) {
  if (v === undefined || v === null) return "";
  if (typeof v === "boolean") return v ? "True" : "False";
  if (typeof v === "number") {
    return Number.isInteger(v) && Math.abs(v) < 1e15 ? String(v) : FloatToStr(v);
  }
  return String(v);
}

globalThis.WriteLn = (v) => { process.stdout.write(TextOf(v) + "\n"); };
globalThis.IntToStr = (v) => String(Math.trunc(v));
globalThis.Length = (v) => v.length;
globalThis.Copy = (s, from, count) => {
  if (from < 1) from = 1;
  if (from > s.length || count <= 0) return "";
  return s.substr(from - 1, count);
};
globalThis.Pos = (sub, s) => (sub === "" ? 0 : s.indexOf(sub) + 1);
globalThis.UpperCase = (s) => s.toUpperCase();
globalThis.RaiseException = (msg) => { throw new KsException(msg); };

class KsException extends Error {}

globalThis.ExceptionMessage = "";
globalThis.ExceptionClassName = "";
globalThis.ksCatch = (e) => {
  globalThis.ExceptionMessage = e.message;
  globalThis.ExceptionClassName = e instanceof KsException ? "Exception" : e.constructor.name;
};
globalThis.ksArray = (n) => new Array(n).fill(0);
globalThis.ksNever = {};
