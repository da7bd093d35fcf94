; Copy control of the VX3E1610
[Copy OTP]
Load_OTP=1
