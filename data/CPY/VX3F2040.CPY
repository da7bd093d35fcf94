; Copy control of the VX3F2040
[Copy OTP]
Load_OTP=0
